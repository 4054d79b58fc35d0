// SetDebugMode and ReadDebugOutput against a scripted interface.
#include <algorithm>
#include <iterator>

#include "client/interface_client.h"
#include "scripted_client_test.h"

namespace {

using DebugOutputTest = ScriptedClientTest;

TEST_F(DebugOutputTest, SetDebugModeSendsTheModeAndTakesOnlyStatusOk) {
  struct Case {
    bool imagesUploaded;
    std::vector<uint8_t> sent;
    uint8_t status;
    bool result;
  };
  const std::vector<Case> cases = {
      {false, {0x04, 0x01}, 0x00, true},
      {true, {0x04, 0x81}, 0x00, true},
      {true, {0x04, 0x81}, 0x01, false},
      {false, {0x04, 0x01}, 0x03, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.sent) + " answered " + Hex({c.status}));
    HeldClock held;
    auto interface = InstallScriptedInterface(
        held, {Expect(c.sent), Answer({c.status}), Expect({0xFF}), Answer({0x00})});
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      EXPECT_EQ(client.SetDebugMode(c.imagesUploaded), c.result);
      EXPECT_TRUE(client.Disconnect());
    }
    EXPECT_EQ(interface->Received(), interface->Expected());
  }
}

// Every request is 03 00 01. A malformed answer aborts the link on the spot:
// the goodbye then finds it down and sends nothing. Any other outcome
// leaves the link up, and the goodbye is answered.
TEST_F(DebugOutputTest, ReadDebugOutputByAnswer) {
  constexpr uint8_t kUnwritten = 0xEE;
  struct Case {
    const char* name;
    PeerScript answer;
    int32_t result;
    size_t stored;  // output bytes expected in the buffer
    bool aborted;
  };
  const std::vector<uint8_t> full = Pattern(256, 0x30);
  const std::vector<Case> cases = {
      {"no output", {Answer({0x05, 0x00, 0x00})}, 0, 0, false},
      {"one byte", {Answer({0x05, 0x01, 0x00, 'x'})}, 1, 1, false},
      {"256 bytes", {Answer(Concat({0x05, 0x00, 0x01}, full))}, 256, 256, false},
      {"257 bytes", {Answer({0x05, 0x01, 0x01})}, -1, 0, true},
      {"0xFFFF bytes", {Answer({0x05, 0xFF, 0xFF})}, -1, 0, true},
      {"download timed out", {Answer({0x04, 0x00, 0x00})}, -2, 0, false},
      {"time-out with a length", {Answer({0x04, 0x01, 0x00})}, -1, 0, true},
      {"time-out with a high length", {Answer({0x04, 0x00, 0x01})}, -1, 0, true},
      {"version tag", {Answer({0x02, 0x00, 0x00})}, -1, 0, true},
      {"status tag", {Answer({0x00, 0x00, 0x00})}, -1, 0, true},
      {"no answer", {RunOutWaits(2)}, -1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldClock held;
    PeerScript script = {Expect({0x03, 0x00, 0x01})};
    script.insert(script.end(), c.answer.begin(), c.answer.end());
    if (!c.aborted) script.insert(script.end(), {Expect({0xFF}), Answer({0x00})});
    auto interface = InstallScriptedInterface(held, script);
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      uint8_t buffer[257];
      std::fill(std::begin(buffer), std::end(buffer), kUnwritten);
      EXPECT_EQ(client.ReadDebugOutput(buffer), c.result);
      if (c.stored == full.size()) {
        EXPECT_TRUE(std::equal(full.begin(), full.end(), buffer));
      } else if (c.stored == 1) {
        EXPECT_EQ(buffer[0], 'x');
      }
      EXPECT_EQ(buffer[c.stored], kUnwritten) << "no terminator, nothing beyond the output";
      EXPECT_EQ(client.Disconnect(), !c.aborted);
    }
    EXPECT_EQ(interface->Received(), interface->Expected());
    EXPECT_TRUE(interface->Finished());
  }
}

}  // namespace
