// The per-step idle limits of the client's commands, on held time.
#include <functional>
#include <string>

#include "client/interface_client.h"
#include "scripted_client_test.h"

namespace {

using ReceiveLimitTest = ScriptedClientTest;

// GetVersion waits 10000 ms per step. An answer that comes only after one
// whole wait has run out (exactly the limit, not more) is still taken.
TEST_F(ReceiveLimitTest, AnswerAfterExactlyTheLimitIsTaken) {
  for (const uint32_t start : {0u, 0xFFFFF000u}) {
    SCOPED_TRACE(start);
    HeldClock held(start);
    auto late = InstallScriptedInterface(
        held, {Expect({0x01}), RunOutWaits(1), Answer({0x02, 0x01, 0x0A, 0x00}),
               Expect({0xFF}), Answer({0x00})});
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      uint8_t major = 0;
      uint8_t minor = 0;
      EXPECT_TRUE(client.GetVersion(major, minor, nullptr));
      EXPECT_EQ(held.Now() - start, 10000u);
      EXPECT_TRUE(client.Disconnect());
    }
    EXPECT_EQ(late->Received(), late->Expected());
  }
}

// A command that gets no answer fails after two waits of its own limit:
// the first ends exactly at the limit, the second beyond it. The link stays
// up, so the goodbye that follows is answered.
TEST_F(ReceiveLimitTest, UnansweredCommandFailsAfterMoreThanItsLimit) {
  struct Case {
    const char* name;
    std::vector<uint8_t> sent;
    uint32_t limit;
    std::function<bool(InterfaceClient&)> command;
  };
  const std::vector<Case> cases = {
      {"GetVersion", {0x01}, 10000,
       [](InterfaceClient& c) {
         uint8_t major, minor;
         return c.GetVersion(major, minor, nullptr);
       }},
      {"SetDebugMode", {0x04, 0x01}, 10000, [](InterfaceClient& c) { return c.SetDebugMode(false); }},
      {"SendBlock header, key limit", {0x02, 0x01, 0x00}, 200,
       [](InterfaceClient& c) {
         const uint8_t key = 'a';
         return c.SendBlock(&key, 1, 200);
       }},
      {"ReadDebugOutput", {0x03, 0x00, 0x01}, 1000,
       [](InterfaceClient& c) {
         uint8_t buffer[256];
         return c.ReadDebugOutput(buffer) != -1;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldClock held;
    auto silent = InstallScriptedInterface(
        held, {Expect(c.sent), RunOutWaits(2), Expect({0xFF}), Answer({0x00})});
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      EXPECT_FALSE(c.command(client));
      EXPECT_EQ(held.Now(), 2 * c.limit);
      EXPECT_TRUE(client.Disconnect());
    }
    EXPECT_EQ(silent->Received(), silent->Expected());
    EXPECT_TRUE(silent->Finished());
  }
}

// The idle limit counts from the last Receive that brought bytes, not from
// the start of the step: the output "abc" arrives as "a", one whole wait of
// 1000 ms, another whole wait without a byte, then "bc".
TEST_F(ReceiveLimitTest, IdleLimitRestartsWithEveryByte) {
  Install({Expect({0x03, 0x00, 0x01}), Answer({0x05, 0x03, 0x00, 'a'}), Settle(), RunOutWaits(2),
           Answer({'b', 'c'}), Expect({0xFF}), Answer({0x00})});
  {
    InterfaceClient client(clock);
    ASSERT_TRUE(client.Connect());
    uint8_t buffer[256] = {};
    ASSERT_EQ(client.ReadDebugOutput(buffer), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
    EXPECT_EQ(clock.Now(), 2000u);
    EXPECT_TRUE(client.Disconnect());
  }
  ExpectExactExchange();
}

// With the limit -1 nothing is measured: the host waits without limit in
// every step, however far time moves meanwhile, and leaves every run-out
// unused.
TEST_F(ReceiveLimitTest, NoLimitWaitsForTheAnswer) {
  const std::vector<uint8_t> payload = {0x20, 0x21, 0x22};
  Install({Expect({0x02, 0x03, 0x00}), GrantRunOuts(1), AwaitHostWait(), Advance(100000),
           Answer({0x03}), Expect(payload), AwaitHostWait(), Advance(100000), Answer({0x00}),
           Expect({0xFF}), Answer({0x00})});
  {
    InterfaceClient client(clock);
    ASSERT_TRUE(client.Connect());
    EXPECT_TRUE(client.SendBlock(payload.data(), 3, kNoLimit));
    EXPECT_EQ(clock.WithdrawRunOuts(), 1u);
    EXPECT_EQ(clock.Now(), 200000u);
    EXPECT_TRUE(client.Disconnect());
  }
  ExpectExactExchange();
}

}  // namespace
