// How the client finds and opens the interface, against the stand-in hidapi
// library, whose calls are recorded in order. The stand-in never answers a
// report, so every handshake fails: its single wait is run out at once.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/interface_client.h"
#include "fake_hidapi.h"
#include "held_clock.h"

namespace {

// Identity 1 and identity 2 of the interface, and another interface of the
// same device.
FakeNode First(bool openable = true) { return {"first", 0x16D0, 0x0F12, 0xFFAB, 0x0200, openable}; }
FakeNode Second(bool openable = true) { return {"second", 0x16C0, 0x0486, 0xFFAB, 0x0200, openable}; }
FakeNode Keyboard() { return {"keyboard", 0x16D0, 0x0F12, 0x0001, 0x0006, true}; }

// The recorded calls that start with `prefix`.
std::vector<std::string> CallsStartingWith(const std::string& prefix) {
  std::vector<std::string> found;
  for (const std::string& call : Fake().calls) {
    if (call.rfind(prefix, 0) == 0) found.push_back(call);
  }
  return found;
}

// True when every report written was a control packet (report ID 0, then
// seq, ack, flags with CONTROL): no command byte ever left.
bool OnlyControlPacketsWritten() {
  for (const std::vector<uint8_t>& report : Fake().writes) {
    if (report.size() != 65 || report[0] != 0 || (report[3] & 0x40) == 0) return false;
  }
  return true;
}

class DeviceSearchTest : public testing::Test {
 protected:
  void SetUp() override { ResetFake(); }
  void TearDown() override {
    EXPECT_EQ(Fake().liveLists, 0) << "every enumeration is freed";
    EXPECT_EQ(Fake().openDevices, 0) << "every device is closed";
  }
};

TEST_F(DeviceSearchTest, IdentitiesInTheirOrder) {
  struct Case {
    const char* name;
    std::vector<FakeNode> nodes;
    std::vector<std::string> opened;  // hid_open_path calls, in order
    bool listedButNotOpened;
  };
  const std::vector<Case> cases = {
      {"both listed, identity 2 first in the list: identity 1",
       {Second(), First()}, {"hid_open_path first"}, false},
      {"identity 1 listed but not openable: identity 2",
       {First(false), Second()}, {"hid_open_path first", "hid_open_path second"}, false},
      {"identity 2 alone", {Keyboard(), Second()}, {"hid_open_path second"}, false},
      {"neither openable",
       {First(false), Second(false)}, {"hid_open_path first", "hid_open_path second"}, true},
      {"neither listed", {Keyboard()}, {}, false},
      {"nothing listed", {}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFake();
    Fake().nodes = c.nodes;
    {
      HeldClock clock;
      clock.RunOutWaits(1);
      InterfaceClient client(clock);
      EXPECT_FALSE(client.Connect());
      EXPECT_EQ(CallsStartingWith("hid_open_path"), c.opened);
      EXPECT_EQ(client.InterfaceListedButNotOpened(), c.listedButNotOpened);
    }
    // Without a device no link exists to poll it, and the destruction has
    // nothing to say either.
    if (c.opened.empty() || c.listedButNotOpened) {
      EXPECT_TRUE(CallsStartingWith("hid_read_timeout").empty());
      EXPECT_TRUE(Fake().writes.empty());
    }
    EXPECT_TRUE(OnlyControlPacketsWritten());
    EXPECT_EQ(Fake().calls.back(), "hid_exit");
  }
}

// After a failed handshake the link stays: a second Connect repeats only
// the handshake, and the destruction, with the link down, sends no goodbye,
// deletes the link and only then closes the device.
TEST_F(DeviceSearchTest, FailedHandshakeKeepsTheLinkUntilTheEnd) {
  Fake().nodes = {First()};
  {
    HeldClock clock;
    InterfaceClient client(clock);
    clock.RunOutWaits(1);
    EXPECT_FALSE(client.Connect());
    EXPECT_EQ(clock.Now(), 5000u) << "one handshake wait of 5000 ms";
    clock.RunOutWaits(1);
    EXPECT_FALSE(client.Connect());
    EXPECT_EQ(clock.Now(), 10000u);
  }
  EXPECT_EQ(CallsStartingWith("hid_enumerate").size(), 1u);
  EXPECT_EQ(CallsStartingWith("hid_open_path").size(), 1u);
  EXPECT_TRUE(OnlyControlPacketsWritten());
  // The link's worker is joined before the device closes: no read or write
  // follows the close.
  const std::vector<std::string>& calls = Fake().calls;
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], "hid_close first");
  EXPECT_EQ(calls[calls.size() - 1], "hid_exit");
}

// A Connect after Disconnect reuses the device that is still open instead
// of losing it to a new search.
TEST_F(DeviceSearchTest, ConnectAfterDisconnectKeepsTheOpenDevice) {
  Fake().nodes = {First(), Second()};
  {
    HeldClock clock;
    InterfaceClient client(clock);
    clock.RunOutWaits(2);
    EXPECT_FALSE(client.Connect());
    EXPECT_FALSE(client.Disconnect()) << "the link was down: no goodbye";
    EXPECT_FALSE(client.Connect());
    EXPECT_EQ(clock.Now(), 10000u) << "a second handshake ran";
  }
  EXPECT_EQ(CallsStartingWith("hid_open_path"), std::vector<std::string>{"hid_open_path first"});
  EXPECT_TRUE(OnlyControlPacketsWritten());
}

}  // namespace
