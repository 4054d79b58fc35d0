// Connect, Send, Receive and Abort on manual links in simulated time: a
// call that waits moves the clock, and the clock's callback plays the peer.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link_test_bench.h"

namespace {

// A manual link that is Connected (rxLastSeq 20, txNextSeq 00) and polls
// once every simulated millisecond while a call waits.
struct ConnectedLink : ManualLink {
  ConnectedLink() {
    link.ForceConnected(0x20, 0x00);
    clock.OnEachMillisecond([this] { link.Poll(); });
  }
  ~ConnectedLink() { clock.OnEachMillisecond(nullptr); }
};

uint8_t PayloadLength(const RawPacket& packet) { return packet[2] & kFlagLengthMask; }

TEST(LinkOperations, ZeroCountReturnsZeroInAnyState) {
  ManualLink m;
  uint8_t byte = 0;
  EXPECT_EQ(m.link.Send(&byte, 0, -1), 0);
  EXPECT_EQ(m.link.Receive(&byte, 0, -1), 0);
  EXPECT_EQ(m.link.Send(&byte, 1, 0), -1);
  EXPECT_EQ(m.link.Receive(&byte, 1, 0), -1);
  EXPECT_EQ(m.link.waiter, WaiterKind::None);
}

TEST(LinkOperations, SendSplitsIntoFullPacketsWithConsecutiveSeq) {
  ConnectedLink c;
  const std::vector<uint8_t> data = Bytes(200);
  const uint32_t before = c.clock.Now();
  ASSERT_EQ(c.link.Send(data.data(), 200, 1000), 200);
  EXPECT_EQ(c.clock.Now(), before) << "nothing to wait for";
  ASSERT_EQ(c.link.tx.count, 4u);
  const uint8_t lengths[] = {61, 61, 61, 17};
  for (uint32_t i = 0; i < 4; ++i) {
    const LinkPacket& packet = c.link.tx.slots[i];
    EXPECT_EQ(packet.seq, i);
    EXPECT_EQ(packet.flags, lengths[i]);
    EXPECT_EQ(packet.payload[0], static_cast<uint8_t>(61 * i));
  }
  EXPECT_EQ(c.link.tx.slots[3].payload[17], 0) << "payload beyond the data is zero";
  EXPECT_EQ(c.link.txNextSeq, 0x04);
  EXPECT_EQ(c.link.waiter, WaiterKind::None);
}

TEST(LinkOperations, SendToASilentPeerQueuesWhatFitsUntilItsLimit) {
  ConnectedLink c;
  const std::vector<uint8_t> data = Bytes(300);
  const uint32_t before = c.clock.Now();
  EXPECT_EQ(c.link.Send(data.data(), 300, 1000), 244);
  EXPECT_EQ(c.clock.Now() - before, 1000u);
  EXPECT_EQ(c.link.state, LinkState::Connected);

  // Full ring, nothing to append to: a limit of 0 returns at once.
  EXPECT_EQ(c.link.Send(data.data(), 300, 0), 0);
  EXPECT_EQ(c.clock.Now() - before, 1000u);
}

TEST(LinkOperations, SendGoesOnAsThePeerAcknowledges) {
  ConnectedLink c;
  c.clock.OnEachMillisecond([&] {
    c.link.Poll();
    // The peer acknowledges every packet it sees.
    for (const RawPacket& sent : c.layer.TakeSent()) {
      if (PayloadLength(sent) != 0) c.layer.Deliver(MakePacket(0x21, sent[0], 0x00));
    }
  });
  const std::vector<uint8_t> data = Bytes(1000);
  EXPECT_EQ(c.link.Send(data.data(), 1000, -1), 1000);
  EXPECT_EQ(c.link.state, LinkState::Connected);
}

TEST(LinkOperations, SendAppendsToAnUntransmittedTail) {
  ManualLink c;  // polled only where the test says
  c.link.ForceConnected(0x20, 0x00);
  const std::vector<uint8_t> data = Bytes(10);
  ASSERT_EQ(c.link.Send(data.data(), 10, 0), 10);
  c.clock.Advance(3);
  ASSERT_EQ(c.link.Send(data.data(), 5, 0), 5);
  EXPECT_EQ(c.link.tx.count, 1u);
  EXPECT_EQ(c.link.tx.Head().seq, 0x00);
  EXPECT_EQ(PayloadLength(c.link.tx.Head()), 15);
  EXPECT_EQ(c.link.tx.Head().payload[10], 0x00);
  EXPECT_EQ(c.link.tx.Head().payload[14], 0x04);
  EXPECT_EQ(c.link.txNextSeq, 0x01);

  // Once on the wire the tail takes no more bytes, though it has room.
  c.link.Poll();
  ASSERT_TRUE(IsRepeat(c.link.tx.Head()));
  ASSERT_EQ(c.link.Send(data.data(), 5, 0), 5);
  EXPECT_EQ(c.link.tx.count, 2u);
  EXPECT_EQ(PayloadLength(c.link.tx.Head()), 15);
  EXPECT_EQ(c.link.tx.Tail().seq, 0x01);
  EXPECT_EQ(PayloadLength(c.link.tx.Tail()), 5);

  // A tail behind the head fills up to 61 and makes the head due at once.
  const std::vector<uint8_t> more = Bytes(60);
  c.link.nextSendTime = c.clock.Now() + 15;
  ASSERT_EQ(c.link.Send(more.data(), 60, 0), 60);
  EXPECT_EQ(PayloadLength(c.link.tx.slots[1]), 61);
  EXPECT_EQ(PayloadLength(c.link.tx.slots[2]), 4);
  EXPECT_EQ(c.link.nextSendTime, c.clock.Now());
}

TEST(LinkOperations, SendTurnsAQueuedPureAcknowledgementIntoData) {
  ConnectedLink c;
  c.layer.ScriptWriteResults({0});
  c.layer.Deliver(MakePacket(0x21, 0xFF, 0x01, {0xAA}));
  c.link.Poll();
  ASSERT_EQ(c.link.tx.count, 1u);
  ASSERT_EQ(c.link.retryBudget, 1);

  const std::vector<uint8_t> data = Bytes(5, 0x40);
  ASSERT_EQ(c.link.Send(data.data(), 5, 0), 5);
  EXPECT_EQ(c.link.tx.count, 1u);
  EXPECT_EQ(c.link.tx.Head().seq, 0x00);
  EXPECT_EQ(c.link.tx.Head().flags, 5);
  EXPECT_EQ(c.link.txNextSeq, 0x01);
  EXPECT_EQ(c.link.retryBudget, kUnlimitedRetries);

  c.link.Poll();
  EXPECT_EQ(HeadersOf(c.layer.TakeSent()), (Headers{{0x00, 0x21, 0x05, 0x40}}));
  EXPECT_EQ(c.link.tx.count, 1u) << "data stays until acknowledged";
}

TEST(LinkOperations, ReceiveTakesAcrossPacketsAndKeepsItsOffset) {
  ConnectedLink c;
  c.layer.Deliver(MakeDataPacket(0x21, 0xFF, Bytes(61, 0)));
  c.layer.Deliver(MakeDataPacket(0x22, 0xFF, Bytes(61, 61)));
  c.link.Poll();
  c.link.Poll();
  ASSERT_EQ(c.link.rx.count, 2u);

  std::vector<uint8_t> buffer(100);
  const uint32_t before = c.clock.Now();
  ASSERT_EQ(c.link.Receive(buffer.data(), 100, 1000), 100);
  EXPECT_EQ(c.clock.Now(), before);
  EXPECT_EQ(buffer, Bytes(100, 0));
  EXPECT_EQ(c.link.rx.count, 1u);
  EXPECT_EQ(c.link.rxReadOffset, 39);

  ASSERT_EQ(c.link.Receive(buffer.data(), 22, 0), 22);
  EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 22), Bytes(22, 100));
  EXPECT_EQ(c.link.rx.count, 0u);
  EXPECT_EQ(c.link.rxReadOffset, 0);
}

TEST(LinkOperations, ReceiveEndsAtItsLimitOrAtOnceWhenThePeerResets) {
  {
    ConnectedLink c;
    uint8_t buffer[8];
    const uint32_t before = c.clock.Now();
    EXPECT_EQ(c.link.Receive(buffer, 8, 1000), 0);
    EXPECT_EQ(c.clock.Now() - before, 1000u);
  }
  {
    ConnectedLink c;
    uint32_t ms = 0;
    c.clock.OnEachMillisecond([&] {
      if (++ms == 300) c.layer.Deliver(MakePacket(0x05, 0xFF, 0x40, {0x05}));
      c.link.Poll();
    });
    uint8_t buffer[8];
    const uint32_t before = c.clock.Now();
    EXPECT_EQ(c.link.Receive(buffer, 8, 1000), -1);
    EXPECT_EQ(c.clock.Now() - before, 300u);
    EXPECT_EQ(c.link.state, LinkState::Idle);
  }
  {
    // Bytes already taken are returned even when the link is lost after.
    ConnectedLink c;
    uint32_t ms = 0;
    c.clock.OnEachMillisecond([&] {
      ++ms;
      if (ms == 10) c.layer.Deliver(MakeDataPacket(0x21, 0xFF, Bytes(3)));
      if (ms == 20) c.layer.ScriptReadResults({-1});
      c.link.Poll();
    });
    uint8_t buffer[8];
    EXPECT_EQ(c.link.Receive(buffer, 8, -1), 3);
    EXPECT_EQ(c.link.Receive(buffer, 8, -1), -1);
  }
}

// One byte every 300 ms, a limit of 1000 ms for ten: the limit covers the
// whole call, not each wait.
TEST(LinkOperations, LimitAppliesToTheWholeCall) {
  ConnectedLink c;
  uint32_t ms = 0;
  uint8_t seq = 0x20;
  c.clock.OnEachMillisecond([&] {
    if (++ms % 300 == 0) {
      seq = NextSeq(seq);
      c.layer.Deliver(MakeDataPacket(seq, 0xFF, {seq}));
    }
    c.link.Poll();
  });
  uint8_t buffer[10];
  const uint32_t before = c.clock.Now();
  EXPECT_EQ(c.link.Receive(buffer, 10, 1000), 3);
  EXPECT_EQ(c.clock.Now() - before, 1000u);
}

TEST(LinkOperations, ConnectToASilentPeerGivesUpAfterFiveSeconds) {
  ManualLink m;
  m.clock.OnEachMillisecond([&] { m.link.Poll(); });
  const uint32_t before = m.clock.Now();
  EXPECT_FALSE(m.link.Connect());
  EXPECT_EQ(m.clock.Now() - before, 5000u);
  EXPECT_EQ(m.link.state, LinkState::Idle);
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_EQ(m.link.retryBudget, 0);
  EXPECT_EQ(m.link.waiter, WaiterKind::None);
  const std::vector<RawPacket> sent = m.layer.TakeSent();
  ASSERT_EQ(sent.size(), 250u) << "one request every 20 ms";
  EXPECT_EQ(sent.front(), MakePacket(0xFF, 0xCC, 0x40, {0x01}));
  m.clock.Advance(100);
  EXPECT_TRUE(m.layer.TakeSent().empty()) << "the request stops repeating";
}

TEST(LinkOperations, ConnectOnlyFromIdle) {
  ManualLink m;
  m.link.ForceConnected(0x20, 0x30);
  EXPECT_FALSE(m.link.Connect());
  EXPECT_EQ(m.link.state, LinkState::Connected);
  EXPECT_EQ(m.link.txNextSeq, 0x30);
  EXPECT_EQ(m.link.waiter, WaiterKind::None);
}

TEST(LinkOperations, ConnectFailsWhenTheLayerFailsDuringTheWait) {
  ManualLink m;
  uint32_t ms = 0;
  m.clock.OnEachMillisecond([&] {
    if (++ms == 50) m.layer.ScriptWriteResults({-1});
    m.link.Poll();
  });
  const uint32_t before = m.clock.Now();
  EXPECT_FALSE(m.link.Connect());
  EXPECT_LT(m.clock.Now() - before, 100u);
  EXPECT_EQ(m.link.state, LinkState::Idle);
}

TEST(LinkOperations, AbortDropsTheLinkLocally) {
  ManualLink m;
  m.link.Abort();
  EXPECT_FALSE(m.link.wakeEvent.IsSet()) << "nothing to do on an Idle link";

  m.link.ForceConnected(0x20, 0x00);
  const std::vector<uint8_t> data = Bytes(100);
  ASSERT_EQ(m.link.Send(data.data(), 100, 0), 100);
  m.Step(MakePacket(0x21, 0xFF, 0x01, {0xAA}));
  m.link.Abort();
  EXPECT_EQ(m.link.state, LinkState::Idle);
  EXPECT_EQ(m.link.tx.count, 0u);
  EXPECT_EQ(m.link.rx.count, 0u);
  EXPECT_EQ(m.link.waiter, WaiterKind::None);
  EXPECT_EQ(m.link.Send(data.data(), 1, 0), -1);
  EXPECT_EQ(m.Run(100), Headers{}) << "Abort sends nothing";
}

}  // namespace
