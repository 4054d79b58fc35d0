// SendBlock against a scripted interface: the bytes on the wire and the
// transfer statistics it prints.
#include <string>

#include "client/interface_client.h"
#include "scripted_client_test.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

using SendBlockTest = ScriptedClientTest;

std::vector<uint8_t> Header(size_t length) {
  return {0x02, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8)};
}

// A first image of 1000 bytes travels as the header 02 EB 03 and, after
// BlockReady, the record 03 03 E8 and the image. The interface holds the
// host's clock while it reads: 250 ms pass after 400 bytes (the host cannot
// have queued the rest by then), 50 more once the host waits for the status.
TEST_F(SendBlockTest, ImageRecordOfAThousandBytes) {
  const std::vector<uint8_t> record = Concat({0x03, 0x03, 0xE8}, Pattern(1000));
  const std::vector<uint8_t> firstPart(record.begin(), record.begin() + 400);
  const std::vector<uint8_t> rest(record.begin() + 400, record.end());
  Install({Expect({0x02, 0xEB, 0x03}), Answer({0x03}), Expect(firstPart), Advance(250),
           Expect(rest), AwaitHostWait(), Advance(50), Answer({0x00}), Expect({0xFF}),
           Answer({0x00})});
  {
    InterfaceClient client(clock);
    ASSERT_TRUE(client.Connect());
    CaptureStdout();
    EXPECT_TRUE(client.SendBlock(record.data(), static_cast<uint16_t>(record.size()), 10000));
    EXPECT_EQ(GetCapturedStdout(),
              "\nTransfer time: 300 ms (send time: 250 ms); Average: 3343 bytes/second.\n");
    EXPECT_TRUE(client.Disconnect());
  }
  ExpectExactExchange();
}

TEST_F(SendBlockTest, SmallBlocksTravelWithTheirLengthLowByteFirst) {
  struct Case {
    const char* name;
    std::vector<uint8_t> payload;
    std::vector<uint8_t> header;
  };
  const std::vector<Case> cases = {
      {"empty block: no payload, straight to the status", {}, {0x02, 0x00, 0x00}},
      {"reboot record", {0x01}, {0x02, 0x01, 0x00}},
      {"key block", {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd', '\t', '\n'},
       {0x02, 0x10, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldClock held;
    PeerScript script = {Expect(c.header), Answer({0x03})};
    if (!c.payload.empty()) script.push_back(Expect(c.payload));
    script.insert(script.end(), {Answer({0x00}), Expect({0xFF}), Answer({0x00})});
    auto interface = InstallScriptedInterface(held, script);
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      CaptureStdout();
      EXPECT_TRUE(client.SendBlock(c.payload.empty() ? nullptr : c.payload.data(),
                                   static_cast<uint16_t>(c.payload.size()), 200));
      EXPECT_EQ(GetCapturedStdout(), "");
      EXPECT_TRUE(client.Disconnect());
    }
    EXPECT_EQ(interface->Received(), interface->Expected());
    EXPECT_TRUE(interface->Finished());
  }
}

// Anything but BlockReady after the header fails the block before a byte of
// the payload is sent; the link stays up.
TEST_F(SendBlockTest, HeaderNotAnsweredByBlockReadySendsNoPayload) {
  for (const uint8_t answer : {0x00, 0x02, 0x05}) {
    SCOPED_TRACE(static_cast<int>(answer));
    HeldClock held;
    auto interface = InstallScriptedInterface(
        held, {Expect({0x02, 0x00, 0x01}), Answer({answer}), Expect({0xFF}), Answer({0x00})});
    const std::vector<uint8_t> payload = Pattern(256);
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      CaptureStdout();
      EXPECT_FALSE(client.SendBlock(payload.data(), 256, 10000));
      EXPECT_EQ(GetCapturedStdout(), "");
      EXPECT_TRUE(client.Disconnect());
    }
    EXPECT_EQ(interface->Received(), interface->Expected());
  }
}

// The statistics follow a status of 0x00 for blocks of 256 bytes or more.
// `held` is how long the interface holds the host's clock once the host
// waits for the status, so the send time is 0 and the total time `held`.
TEST_F(SendBlockTest, StatisticsForLargeAcceptedBlocksOnly) {
  struct Case {
    const char* name;
    size_t length;
    uint32_t held;
    uint8_t status;
    bool result;
    const char* printed;
  };
  const std::vector<Case> cases = {
      {"255 bytes: nothing", 255, 300, 0x00, true, ""},
      {"256 bytes", 256, 300, 0x00, true,
       "\nTransfer time: 300 ms (send time: 0 ms); Average: 853 bytes/second.\n"},
      {"no time passed: no average", 256, 0, 0x00, true,
       "\nTransfer time: 0 ms (send time: 0 ms)\n"},
      {"refused: false and nothing", 256, 300, 0x01, false, ""},
      {"refused with 0xFF", 300, 300, 0xFF, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldClock held;
    const std::vector<uint8_t> payload = Pattern(c.length, 0x40);
    auto interface = InstallScriptedInterface(
        held, {Expect(Header(c.length)), Answer({0x03}), Expect(payload), AwaitHostWait(),
               Advance(c.held), Answer({c.status}), Expect({0xFF}), Answer({0x00})});
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      CaptureStdout();
      EXPECT_EQ(client.SendBlock(payload.data(), static_cast<uint16_t>(c.length), 10000), c.result);
      EXPECT_EQ(GetCapturedStdout(), c.printed);
      EXPECT_TRUE(client.Disconnect());
    }
    EXPECT_EQ(interface->Received(), interface->Expected());
    EXPECT_TRUE(interface->Finished());
  }
}

}  // namespace
