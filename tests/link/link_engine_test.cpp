// The engine, one Poll at a time: packets written as seq ack flags byte3.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "link_test_bench.h"

namespace {

const char* Name(LinkState state) {
  switch (state) {
    case LinkState::Idle: return "Idle";
    case LinkState::Listening: return "Listening";
    case LinkState::Connecting: return "Connecting";
    case LinkState::AcceptPending: return "AcceptPending";
    case LinkState::Connected: return "Connected";
    case LinkState::ShuttingDown: return "ShuttingDown";
  }
  return "?";
}

// The records the rows start from:
//   Idle, Listening  rxLastSeq 20, txNextSeq 10, nothing queued
//   Connecting       Connect's ConnectRequest FF sent once (rxLastSeq CC)
//   AcceptPending    the accept 7F of the request FF sent once
//   Connected        rxLastSeq 20, txNextSeq 30, nothing queued
struct Row {
  const char* what;
  LinkState from;
  RawPacket incoming;
  Headers sent;  // in the same step
  LinkState to;
};

const LinkState kIdle = LinkState::Idle;
const LinkState kListening = LinkState::Listening;
const LinkState kConnecting = LinkState::Connecting;
const LinkState kAcceptPending = LinkState::AcceptPending;
const LinkState kConnected = LinkState::Connected;

const std::vector<Row> kRows = {
    {"zero-length Reset ignored", kIdle, MakePacket(0x05, 0x00, 0x40, {0x05}), {}, kIdle},
    {"Reset with a length answered", kIdle, MakePacket(0x05, 0x00, 0x41, {0x05}), {{0x10, 0x20, 0x40, 0x05}}, kIdle},
    {"data answered", kIdle, MakePacket(0x00, 0x00, 0x01, {0xAA}), {{0x10, 0x20, 0x40, 0x05}}, kIdle},
    {"request answered", kIdle, MakePacket(0xFF, 0xCC, 0x40, {0x01}), {{0x10, 0x20, 0x40, 0x05}}, kIdle},

    {"request accepted", kListening, MakePacket(0xFF, 0xCC, 0x40, {0x01}), {{0x7F, 0xFF, 0x40, 0x02}}, kAcceptPending},
    {"request with a length refused", kListening, MakePacket(0xFF, 0xCC, 0x41, {0x01}), {{0x10, 0x20, 0x40, 0x05}}, kListening},
    {"zero-length Reset ignored", kListening, MakePacket(0x05, 0x00, 0x40, {0x05}), {}, kListening},
    {"Reset with a length answered", kListening, MakePacket(0x05, 0x00, 0x41, {0x05}), {{0x10, 0x20, 0x40, 0x05}}, kListening},
    {"accept answered", kListening, MakePacket(0x7F, 0xFF, 0x40, {0x02}), {{0x10, 0x20, 0x40, 0x05}}, kListening},
    {"data answered", kListening, MakePacket(0x00, 0x00, 0x01, {0xAA}), {{0x10, 0x20, 0x40, 0x05}}, kListening},

    {"matching accept opens", kConnecting, MakePacket(0x7F, 0xFF, 0x40, {0x02}), {{0x00, 0x7F, 0x00, 0x01}}, kConnected},
    {"repeated accept opens", kConnecting, MakePacket(0x7F, 0xFF, 0xC0, {0x02}), {{0x00, 0x7F, 0x00, 0x01}}, kConnected},
    {"accept of another seq ignored", kConnecting, MakePacket(0x7F, 0xFE, 0x40, {0x02}), {}, kConnecting},
    {"accept with a length ignored", kConnecting, MakePacket(0x7F, 0xFF, 0x41, {0x02}), {}, kConnecting},
    {"Reset ignored", kConnecting, MakePacket(0x05, 0x00, 0x40, {0x05}), {}, kConnecting},
    {"Reset with a length ignored", kConnecting, MakePacket(0x05, 0x00, 0x41, {0x05}), {}, kConnecting},
    {"data ignored", kConnecting, MakePacket(0x00, 0xFF, 0x01, {0xAA}), {}, kConnecting},

    {"request repeat ignored", kAcceptPending, MakePacket(0xFF, 0xCC, 0x40, {0x01}), {}, kAcceptPending},
    {"request of another seq refused", kAcceptPending, MakePacket(0xFE, 0xCC, 0x40, {0x01}), {{0x80, 0xFF, 0x40, 0x05}}, kListening},
    {"zero-length Reset answered", kAcceptPending, MakePacket(0x05, 0x00, 0x40, {0x05}), {{0x80, 0xFF, 0x40, 0x05}}, kListening},
    {"Reset with a length answered", kAcceptPending, MakePacket(0x05, 0x00, 0x41, {0x05}), {{0x80, 0xFF, 0x40, 0x05}}, kListening},
    {"wrong ack refused", kAcceptPending, MakePacket(0x00, 0x7E, 0x00, {0x01}), {{0x80, 0xFF, 0x40, 0x05}}, kListening},
    {"wrong seq refused", kAcceptPending, MakePacket(0x01, 0x7F, 0x00, {0x01}), {{0x80, 0xFF, 0x40, 0x05}}, kListening},
    {"length 62 refused", kAcceptPending, MakePacket(0x00, 0x7F, 0x3E), {{0x80, 0xFF, 0x40, 0x05}}, kListening},
    {"acknowledgement opens", kAcceptPending, MakePacket(0x00, 0x7F, 0x00, {0x01}), {}, kConnected},
    {"data opens and is acknowledged", kAcceptPending, MakePacket(0x00, 0x7F, 0x03, {1, 2, 3}), {{0x80, 0x00, 0x00, 0x00}}, kConnected},

    {"zero-length Reset drops the link silently", kConnected, MakePacket(0x05, 0x00, 0x40, {0x05}), {}, kIdle},
    {"Reset with a length is an error", kConnected, MakePacket(0x21, 0x2F, 0x41, {0x05}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"request is an error", kConnected, MakePacket(0xFF, 0xCC, 0x40, {0x01}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"unknown control code is an error", kConnected, MakePacket(0x21, 0x2F, 0x40, {0x03}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"repeated accept acknowledged", kConnected, MakePacket(0x20, 0x11, 0xC0, {0x02}), {{0x30, 0x20, 0x00, 0x00}}, kConnected},
    {"accept without REPEAT is an error", kConnected, MakePacket(0x20, 0x2F, 0x40, {0x02}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"accept of another seq is an error", kConnected, MakePacket(0x21, 0x2F, 0xC0, {0x02}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"next data stored and acknowledged", kConnected, MakePacket(0x21, 0x2F, 0x01, {0xAA}), {{0x30, 0x21, 0x00, 0x00}}, kConnected},
    {"duplicate acknowledged again", kConnected, MakePacket(0x20, 0x2F, 0x01, {0xAA}), {{0x30, 0x20, 0x00, 0x00}}, kConnected},
    {"pure acknowledgement not answered", kConnected, MakePacket(0x21, 0x2F, 0x00), {}, kConnected},
    {"seq too far is an error", kConnected, MakePacket(0x22, 0x2F, 0x01, {0xAA}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"old seq is an error", kConnected, MakePacket(0x1F, 0x2F, 0x01, {0xAA}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"ack of nothing sent is an error", kConnected, MakePacket(0x21, 0x30, 0x01, {0xAA}), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"length 61 stored", kConnected, MakePacket(0x21, 0x2F, 0x3D), {{0x30, 0x21, 0x00, 0x00}}, kConnected},
    {"length 62 is an error", kConnected, MakePacket(0x21, 0x2F, 0x3E), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
    {"length 63 is an error", kConnected, MakePacket(0x21, 0x2F, 0x3F), {{0x30, 0x20, 0x40, 0x05}}, kIdle},
};

struct Outcome {
  Headers sent;
  LinkState state;
};

// Puts a fresh link into `from`, delivers the row's packet and polls once.
Outcome RunRow(const Row& row) {
  ManualLink m;
  Outcome outcome{};
  auto step = [&] {
    outcome.sent = m.Step(row.incoming);
    outcome.state = m.link.state;
  };
  switch (row.from) {
    case LinkState::Idle:
    case LinkState::Listening:
      if (row.from == LinkState::Listening) m.link.Listen();
      m.link.rxLastSeq = 0x20;
      m.link.txNextSeq = 0x10;
      step();
      break;
    case LinkState::Connecting:
      // Runs inside the real Connect's wait, right after the request went out.
      m.clock.OnEachMillisecond([&, first = true]() mutable {
        if (!first) return;
        first = false;
        m.Step();
        step();
      });
      m.link.Connect();
      break;
    case LinkState::AcceptPending:
      m.link.Listen();
      m.Step(MakePacket(0xFF, 0xCC, 0x40, {0x01}));
      step();
      break;
    case LinkState::Connected:
      m.link.ForceConnected(0x20, 0x30);
      step();
      break;
    case LinkState::ShuttingDown:
      break;
  }
  return outcome;
}

TEST(LinkEngine, IncomingPacketByState) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::string(Name(row.from)) + ": " + row.what);
    const Outcome outcome = RunRow(row);
    EXPECT_EQ(outcome.sent, row.sent);
    EXPECT_STREQ(Name(outcome.state), Name(row.to));
  }
}

TEST(LinkEngine, ActiveOpenSendsTheHandshakeBytes) {
  ManualLink m;
  Headers sent;
  bool signalled = false;
  uint32_t ms = 0;
  m.clock.OnEachMillisecond([&] {
    ++ms;
    if (ms == 45) m.layer.Deliver(MakePacket(0x7F, 0xFF, 0x40, {0x02}));
    m.link.Poll();
    for (const PacketHeader& header : HeadersOf(m.layer.TakeSent())) sent.push_back(header);
    if (m.link.state == LinkState::Connected) signalled = m.link.wakeEvent.IsSet();
  });
  ASSERT_TRUE(m.link.Connect());
  m.clock.OnEachMillisecond(nullptr);

  const Headers expected = {{0xFF, 0xCC, 0x40, 0x01},
                            {0xFF, 0xCC, 0xC0, 0x01},   // 20 ms later
                            {0xFF, 0xCC, 0xC0, 0x01},   // 40 ms later
                            {0x00, 0x7F, 0x00, 0x01}};  // the pure ack, in the accept's step
  EXPECT_EQ(sent, expected);
  EXPECT_TRUE(signalled);
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_EQ(m.link.txNextSeq, 0x00);
  EXPECT_EQ(m.link.rxLastSeq, 0x7F);
  EXPECT_EQ(m.Run(100), Headers{}) << "the acknowledgement goes once";
}

TEST(LinkEngine, PassiveOpenAcceptsRepeatsAndTakesFirstData) {
  ManualLink m;
  m.link.Listen();
  EXPECT_EQ(m.Step(MakePacket(0xFF, 0xCC, 0x40, {0x01})), (Headers{{0x7F, 0xFF, 0x40, 0x02}}));
  EXPECT_EQ(m.Run(40), (Headers{{0x7F, 0xFF, 0xC0, 0x02}, {0x7F, 0xFF, 0xC0, 0x02}}));
  EXPECT_EQ(m.Step(MakePacket(0xFF, 0xCC, 0x40, {0x01})), Headers{});
  EXPECT_EQ(m.link.state, LinkState::AcceptPending);

  EXPECT_EQ(m.Step(MakePacket(0x00, 0x7F, 0x00, {0x01})), Headers{});
  EXPECT_EQ(m.link.state, LinkState::Connected);
  EXPECT_EQ(m.link.rxLastSeq, 0xFF);
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_EQ(m.Run(40), Headers{}) << "the accept stops repeating";

  EXPECT_EQ(m.Step(MakePacket(0x00, 0x7F, 0x03, {1, 2, 3})), (Headers{{0x80, 0x00, 0x00, 0x00}}));
  EXPECT_EQ(m.link.rxLastSeq, 0x00);
  EXPECT_EQ(m.link.rx.count, 1u);
}

TEST(LinkEngine, AcceptPendingWakesAPassiveOpenOnlyForTheOpeningPacket) {
  ManualLink m;
  m.link.Listen();
  m.link.waiter = WaiterKind::Accept;
  m.Step(MakePacket(0xFF, 0xCC, 0x40, {0x01}));
  EXPECT_FALSE(m.link.wakeEvent.IsSet());
  m.Step(MakePacket(0x00, 0x7F, 0x00, {0x01}));
  EXPECT_TRUE(m.link.wakeEvent.IsSet());
}

TEST(LinkEngine, AcknowledgedHeadIsReleasedAndTheNextGoesOutInTheSameStep) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x00);
  m.link.waiter = WaiterKind::Send;
  const std::vector<uint8_t> data = Bytes(122);
  ASSERT_EQ(m.link.Send(data.data(), 122, 0), 122);
  m.link.waiter = WaiterKind::Send;  // as if Send were still waiting

  EXPECT_EQ(m.Step(), (Headers{{0x00, 0x20, 0x3D, 0x00}}));
  EXPECT_EQ(m.Step(MakePacket(0x21, 0x00, 0x00)), (Headers{{0x01, 0x20, 0x3D, 61}}));
  EXPECT_EQ(m.link.tx.count, 1u);
  EXPECT_TRUE(m.link.wakeEvent.IsSet());
  EXPECT_EQ(m.link.retryBudget, kUnlimitedRetries);
  EXPECT_TRUE(IsRepeat(m.link.tx.Head()));

  // An ack of the head's seq - 1 releases nothing; data with it is stored
  // and queues no acknowledgement while the head waits.
  EXPECT_EQ(m.Step(MakePacket(0x21, 0x00, 0x01, {0xAA})), Headers{});
  EXPECT_EQ(m.link.tx.count, 1u);
  EXPECT_EQ(m.link.rx.count, 1u);
  EXPECT_EQ(m.Run(20), (Headers{{0x01, 0x21, 0xBD, 61}})) << "the repeat carries the new ack";

  EXPECT_EQ(m.Step(MakePacket(0x22, 0x01, 0x00)), Headers{});
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_EQ(m.link.retryBudget, 0);
}

// A protocol error answers with a Reset that follows the last packet the
// peer can have seen.
TEST(LinkEngine, ProtocolErrorResetTakesTheSeqAfterWhatThePeerSaw) {
  struct Case {
    const char* what;
    bool headSent;
    uint8_t ack;
    PacketHeader reset;
  };
  const Case cases[] = {
      {"ack of a head never sent", false, 0x30, {0x30, 0x20, 0x40, 0x05}},
      {"ack far off, head never sent", false, 0x35, {0x30, 0x20, 0x40, 0x05}},
      {"ack far off, head sent", true, 0x35, {0x31, 0x20, 0x40, 0x05}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ManualLink m;
    m.link.ForceConnected(0x20, 0x30);
    const std::vector<uint8_t> data = Bytes(70);
    ASSERT_EQ(m.link.Send(data.data(), 70, 0), 70);
    if (c.headSent) m.Step();
    m.link.waiter = WaiterKind::Receive;
    EXPECT_EQ(m.Step(MakePacket(0x21, c.ack, 0x01, {0xAA})), Headers{c.reset});
    EXPECT_EQ(m.link.state, LinkState::Idle);
    EXPECT_EQ(m.link.rx.count, 0u);
    EXPECT_EQ(m.link.tx.count, 0u) << "the Reset goes once";
    EXPECT_TRUE(m.link.wakeEvent.IsSet());
    EXPECT_EQ(m.Run(100), Headers{});
  }
}

TEST(LinkEngine, SequenceNumbersWrapFromFFToZero) {
  {
    ManualLink m;
    m.link.ForceConnected(0xFF, 0x10);
    EXPECT_EQ(m.Step(MakePacket(0x00, 0x0F, 0x01, {0xAA})), (Headers{{0x10, 0x00, 0x00, 0x00}}));
    EXPECT_EQ(m.link.rx.count, 1u);
  }
  {
    ManualLink m;
    m.link.ForceConnected(0xFF, 0x10);
    EXPECT_EQ(m.Step(MakePacket(0x01, 0x0F, 0x01, {0xAA})), (Headers{{0x10, 0xFF, 0x40, 0x05}}));
    EXPECT_EQ(m.link.state, LinkState::Idle);
  }
  {
    // Our own numbers: FF then 00, and an idle ring expects ack FF.
    ManualLink m;
    m.link.ForceConnected(0x20, 0xFF);
    const std::vector<uint8_t> data = Bytes(100);
    ASSERT_EQ(m.link.Send(data.data(), 100, 0), 100);
    EXPECT_EQ(m.Step(), (Headers{{0xFF, 0x20, 0x3D, 0x00}}));
    EXPECT_EQ(m.Step(MakePacket(0x21, 0xFF, 0x00)), (Headers{{0x00, 0x20, 0x27, 61}}));
    EXPECT_EQ(m.Step(MakePacket(0x21, 0x00, 0x00)), Headers{});
    EXPECT_EQ(m.Step(MakePacket(0x21, 0x00, 0x00)), Headers{});
    EXPECT_EQ(m.link.state, LinkState::Connected);
    EXPECT_EQ(m.link.txNextSeq, 0x01);
  }
}

TEST(LinkEngine, FullReceiveRingDropsNewDataUntilASlotIsFreed) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  for (uint8_t seq = 0x21; seq <= 0x24; ++seq) {
    EXPECT_EQ(m.Step(MakePacket(seq, 0x2F, 0x01, {seq})), (Headers{{0x30, seq, 0x00, 0x00}}));
  }
  EXPECT_EQ(m.Step(MakePacket(0x25, 0x2F, 0x01, {0x25})), (Headers{{0x30, 0x24, 0x00, 0x00}}));
  EXPECT_EQ(m.link.rx.count, 4u);
  EXPECT_EQ(m.link.rxLastSeq, 0x24);

  uint8_t byte = 0;
  ASSERT_EQ(m.link.Receive(&byte, 1, 0), 1);
  EXPECT_EQ(byte, 0x21);
  EXPECT_EQ(m.Step(MakePacket(0x25, 0x2F, 0x01, {0x25})), (Headers{{0x30, 0x25, 0x00, 0x00}}));
  EXPECT_EQ(m.link.rx.count, 4u);

  uint8_t rest[4] = {};
  ASSERT_EQ(m.link.Receive(rest, 4, 0), 4);
  EXPECT_EQ(rest[3], 0x25);
}

TEST(LinkEngine, WriteTryAgainKeepsTheHeadDueAndFailureDropsTheLink) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  const std::vector<uint8_t> data = Bytes(10);
  ASSERT_EQ(m.link.Send(data.data(), 10, 0), 10);
  const uint32_t due = m.link.nextSendTime;

  m.layer.ScriptWriteResults({0});
  EXPECT_EQ(m.Step(), Headers{});
  EXPECT_EQ(m.link.tx.count, 1u);
  EXPECT_EQ(m.link.retryBudget, kUnlimitedRetries);
  EXPECT_EQ(m.link.nextSendTime, due);
  EXPECT_FALSE(IsRepeat(m.link.tx.Head()));
  EXPECT_EQ(m.Run(1), (Headers{{0x30, 0x20, 0x0A, 0x00}})) << "tried again at the next step, as a first copy";

  m.link.waiter = WaiterKind::Receive;
  m.layer.ScriptWriteResults({-1});
  EXPECT_EQ(m.Run(20), Headers{});
  EXPECT_EQ(m.link.state, LinkState::Idle);
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_TRUE(m.link.wakeEvent.IsSet());
}

TEST(LinkEngine, PureAcknowledgementThatCouldNotGoOutRidesOnTheNextTry) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  m.layer.ScriptWriteResults({0});
  EXPECT_EQ(m.Step(MakePacket(0x21, 0x2F, 0x01, {0xAA})), Headers{});
  EXPECT_EQ(m.Step(MakePacket(0x22, 0x2F, 0x01, {0xBB})), (Headers{{0x30, 0x22, 0x00, 0x00}}));
  EXPECT_EQ(m.link.tx.count, 0u);
}

TEST(LinkEngine, ReadFailureDropsTheLinkAndSendsNothingInThatStep) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  const std::vector<uint8_t> data = Bytes(10);
  ASSERT_EQ(m.link.Send(data.data(), 10, 0), 10);
  m.Step(MakePacket(0x21, 0x2F, 0x01, {0xAA}));
  ASSERT_EQ(m.link.rx.count, 1u);

  m.link.waiter = WaiterKind::Send;
  m.layer.ScriptReadResults({-1});
  m.link.nextSendTime = m.clock.Now();
  const int writes = m.layer.WriteAttempts();
  m.Step();
  EXPECT_EQ(m.layer.WriteAttempts(), writes);
  EXPECT_EQ(m.link.state, LinkState::Idle);
  EXPECT_EQ(m.link.rx.count, 0u);
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_TRUE(m.link.wakeEvent.IsSet());
}

TEST(LinkEngine, RetransmissionTimerSurvivesTheTickWrap) {
  ManualLink m;
  m.clock.Set(0xFFFFFFF0u);  // 2^32 - 16
  m.link.ForceConnected(0x20, 0x30);
  const uint8_t byte = 0x55;
  ASSERT_EQ(m.link.Send(&byte, 1, 0), 1);
  EXPECT_EQ(m.Step(), (Headers{{0x30, 0x20, 0x01, 0x55}}));
  EXPECT_EQ(m.link.nextSendTime, 4u);

  m.clock.Set(0xFFFFFFFFu);
  EXPECT_EQ(m.Step(), Headers{});
  m.clock.Set(3);
  EXPECT_EQ(m.Step(), Headers{});
  m.clock.Set(4);
  EXPECT_EQ(m.Step(), (Headers{{0x30, 0x20, 0x81, 0x55}}));
}

TEST(LinkEngine, ShuttingDownNeitherReadsNorWrites) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  const std::vector<uint8_t> data = Bytes(10);
  ASSERT_EQ(m.link.Send(data.data(), 10, 0), 10);
  m.layer.Deliver(MakePacket(0x21, 0x2F, 0x01, {0xAA}));
  m.link.state = LinkState::ShuttingDown;
  m.Run(50);
  EXPECT_EQ(m.layer.ReadCalls(), 0);
  EXPECT_EQ(m.layer.WriteAttempts(), 0);
}

TEST(LinkRecord, QueueResetFollowsTheLastPacketThePeerCanHaveSeen) {
  struct Case {
    const char* what;
    uint8_t txNextSeq;
    std::vector<uint32_t> queued;  // byte counts to Send before
    bool headSent;
    uint8_t resetSeq;
    uint8_t nextAfter;
  };
  const Case cases[] = {
      {"nothing queued", 0x10, {}, false, 0x10, 0x11},
      {"head 00 never sent, more behind", 0x00, {61, 61, 5}, false, 0x00, 0x01},
      {"head 00 sent", 0x00, {5}, true, 0x01, 0x02},
      {"head FF sent", 0xFF, {5}, true, 0x00, 0x01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ManualLink m;
    m.link.ForceConnected(0x20, c.txNextSeq);
    for (uint32_t count : c.queued) {
      const std::vector<uint8_t> data = Bytes(count);
      ASSERT_EQ(m.link.Send(data.data(), count, 0), static_cast<int32_t>(count));
    }
    if (c.headSent) m.Step();
    m.link.rx.CommitSlot();  // something received, which a Reset leaves alone
    const uint32_t rxCount = m.link.rx.count;
    m.clock.Advance(7);
    m.link.QueueReset();
    EXPECT_EQ(m.link.tx.count, 1u);
    EXPECT_EQ(m.link.tx.readIndex, 0u);
    EXPECT_EQ(m.link.tx.writeIndex, 1u);
    EXPECT_EQ(HeaderOf(m.link.tx.slots[0]).seq, c.resetSeq);
    EXPECT_EQ(m.link.tx.slots[0].flags, kFlagControl);
    EXPECT_EQ(m.link.tx.slots[0].payload[0], 0x05);
    EXPECT_EQ(m.link.txNextSeq, c.nextAfter);
    EXPECT_EQ(m.link.nextSendTime, m.clock.Now()) << "due at once";
    EXPECT_EQ(m.link.retryBudget, 1);
    EXPECT_EQ(m.link.rx.count, rxCount);
  }
}

TEST(LinkRecord, LinkLostWakesOnlyAWaitingCall) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  m.link.LinkLost();
  EXPECT_FALSE(m.link.wakeEvent.IsSet());
  EXPECT_EQ(m.link.state, LinkState::Idle);

  m.link.ForceConnected(0x20, 0x30);
  m.link.waiter = WaiterKind::Receive;
  m.link.LinkLost();
  EXPECT_TRUE(m.link.wakeEvent.IsSet());
}

}  // namespace
