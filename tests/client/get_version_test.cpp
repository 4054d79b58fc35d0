// GetVersion against a scripted interface.
#include <cstring>
#include <string>

#include "client/interface_client.h"
#include "scripted_client_test.h"

namespace {

using GetVersionTest = ScriptedClientTest;

constexpr uint8_t kUntouched = 0xEE;

std::vector<uint8_t> Name(size_t length) {
  std::vector<uint8_t> name(length);
  for (size_t i = 0; i < length; ++i) name[i] = static_cast<uint8_t>('A' + i % 26);
  return name;
}

// A refused answer leaves its surplus unread: the goodbye then reads the
// first of those bytes instead of its own answer, which is how the tests
// tell that the name was not read. Finding its "answer" waiting, the
// goodbye deletes the link at once, so the goodbye byte itself may never
// have left.
TEST_F(GetVersionTest, AnswersByNameLength) {
  struct Case {
    const char* name;
    std::vector<uint8_t> answer;
    bool withBuffer;
    bool result;
    uint8_t major, minor;
    bool goodbyeAcknowledged;
  };
  const std::vector<Case> cases = {
      {"empty name", {0x02, 0x01, 0x0A, 0x00}, true, true, 1, 10, true},
      {"63-byte name", Concat({0x02, 0x02, 0x03, 63}, Name(63)), true, true, 2, 3, true},
      {"64-byte name refused before it is read", Concat({0x02, 0x02, 0x03, 64}, Name(64)), true,
       false, kUntouched, kUntouched, false},
      {"name read and dropped without a buffer", Concat({0x02, 0x04, 0x05, 5}, Name(5)), false,
       true, 4, 5, true},
      {"another tag", {0x05}, true, false, kUntouched, kUntouched, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HeldClock held;
    PeerScript script = {Expect({0x01}), Answer(c.answer)};
    if (c.goodbyeAcknowledged) script.insert(script.end(), {Expect({0xFF}), Answer({0x00})});
    auto interface = InstallScriptedInterface(held, script);
    {
      InterfaceClient client(held);
      ASSERT_TRUE(client.Connect());
      uint8_t major = kUntouched;
      uint8_t minor = kUntouched;
      char name[64];
      std::memset(name, kUntouched, sizeof name);
      EXPECT_EQ(client.GetVersion(major, minor, c.withBuffer ? name : nullptr), c.result);
      EXPECT_EQ(major, c.major);
      EXPECT_EQ(minor, c.minor);
      if (c.result && c.withBuffer) {
        const std::vector<uint8_t> expected = Name(c.answer[3]);
        EXPECT_EQ(std::string(name, strnlen(name, sizeof name)),
                  std::string(expected.begin(), expected.end()));
        EXPECT_EQ(name[expected.size()], '\0');
      }
      EXPECT_EQ(client.Disconnect(), c.goodbyeAcknowledged);
    }
    if (c.goodbyeAcknowledged) {
      EXPECT_EQ(interface->Received(), interface->Expected());
    } else {
      const std::string received = interface->Received();
      EXPECT_TRUE(received == "01" || received == "01 FF") << received;
    }
  }
}

}  // namespace
