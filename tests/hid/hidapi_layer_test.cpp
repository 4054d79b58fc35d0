#include "hid/hidapi_layer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_hidapi.h"

namespace {

constexpr DeviceMatch kWanted{0x16D0, 0x0F12, 0xFFAB, 0x0200};

class HIDAPILayerTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFake(); }
  void TearDown() override {
    EXPECT_EQ(Fake().liveLists, 0) << "every enumeration is freed";
    EXPECT_EQ(Fake().openDevices, 0) << "every device is closed";
  }

  // Calls from the first hid_open_path on, or none.
  static std::vector<std::string> OpenCalls() {
    std::vector<std::string> opens;
    for (const std::string& call : Fake().calls) {
      if (call.rfind("hid_open_path", 0) == 0) opens.push_back(call);
    }
    return opens;
  }
};

struct OpenCase {
  const char* name;
  std::vector<FakeNode> nodes;
  bool listed;                      // Open's result
  std::vector<std::string> opened;  // hid_open_path calls
};

TEST_F(HIDAPILayerTest, OpensTheFirstNodeWithTheWholeIdentity) {
  const std::vector<OpenCase> cases = {
      {"other usage page skipped, later full match opened",
       {{"keyboard", 0x16D0, 0x0F12, 0x0001, 0x0200}, {"link", 0x16D0, 0x0F12, 0xFFAB, 0x0200}},
       true,
       {"hid_open_path link"}},
      {"other usage skipped",
       {{"mouse", 0x16D0, 0x0F12, 0xFFAB, 0x0002}, {"link", 0x16D0, 0x0F12, 0xFFAB, 0x0200}},
       true,
       {"hid_open_path link"}},
      {"of two full matches the first",
       {{"first", 0x16D0, 0x0F12, 0xFFAB, 0x0200}, {"second", 0x16D0, 0x0F12, 0xFFAB, 0x0200}},
       true,
       {"hid_open_path first"}},
      {"vendor and product compared again",
       {{"stranger", 0x16C0, 0x0F12, 0xFFAB, 0x0200}, {"other", 0x16D0, 0x0486, 0xFFAB, 0x0200}},
       false,
       {}},
      {"only other interfaces listed", {{"keyboard", 0x16D0, 0x0F12, 0x0001, 0x0006}}, false, {}},
      {"nothing listed", {}, false, {}},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFake();
    Fake().nodes = c.nodes;
    {
      HIDAPILayer layer;
      EXPECT_EQ(layer.Open(kWanted), c.listed);
      EXPECT_EQ(layer.IsOpen(), !c.opened.empty());
      EXPECT_EQ(OpenCalls(), c.opened);
    }
    EXPECT_EQ(Fake().calls[1], "hid_enumerate 16d0 0f12");
    EXPECT_EQ(Fake().liveLists, 0);
  }
}

TEST_F(HIDAPILayerTest, ListedButUnopenableDeviceGivesTrueWithoutDevice) {
  Fake().nodes = {{"busy", 0x16D0, 0x0F12, 0xFFAB, 0x0200, false},
                  {"spare", 0x16D0, 0x0F12, 0xFFAB, 0x0200}};
  HIDAPILayer layer;
  EXPECT_TRUE(layer.Open(kWanted));
  EXPECT_FALSE(layer.IsOpen());
  EXPECT_EQ(OpenCalls(), std::vector<std::string>{"hid_open_path busy"});

  uint8_t packet[kPacketSize] = {};
  EXPECT_EQ(layer.Write(packet), -1);
  EXPECT_EQ(layer.Read(packet), -1);
  EXPECT_TRUE(Fake().writes.empty());
  EXPECT_TRUE(Fake().readLengths.empty());
}

TEST_F(HIDAPILayerTest, OpenAgainClosesTheOpenDeviceFirst) {
  Fake().nodes = {{"link", 0x16D0, 0x0F12, 0xFFAB, 0x0200}};
  HIDAPILayer layer;
  ASSERT_TRUE(layer.Open(kWanted));
  Fake().calls.clear();
  EXPECT_FALSE(layer.Open({0x16C0, 0x0486, 0xFFAB, 0x0200}));
  EXPECT_FALSE(layer.IsOpen());
  EXPECT_EQ(Fake().calls.front(), "hid_close link");
  EXPECT_EQ(Fake().openDevices, 0);
}

TEST_F(HIDAPILayerTest, WriteAndReadWithoutOpenFail) {
  HIDAPILayer layer;
  uint8_t packet[kPacketSize] = {};
  EXPECT_EQ(layer.Write(packet), -1);
  EXPECT_EQ(layer.Read(packet), -1);
  EXPECT_EQ(Fake().calls, std::vector<std::string>{"hid_init"});
}

TEST_F(HIDAPILayerTest, WriteHandsOverReportIdZeroThenThePacket) {
  Fake().nodes = {{"link", 0x16D0, 0x0F12, 0xFFAB, 0x0200}};
  HIDAPILayer layer;
  ASSERT_TRUE(layer.Open(kWanted));
  uint8_t packet[kPacketSize];
  for (int i = 0; i < kPacketSize; ++i) packet[i] = static_cast<uint8_t>(0xA0 + i);

  EXPECT_EQ(layer.Write(packet), 64);
  ASSERT_EQ(Fake().writes.size(), 1u);
  std::vector<uint8_t> expected{0x00};
  expected.insert(expected.end(), packet, packet + kPacketSize);
  EXPECT_EQ(Fake().writes[0], expected);

  // Anything but the whole report written is a failure, never "try again".
  for (const int result : {64, 0, -1, 66}) {
    SCOPED_TRACE(result);
    Fake().writeResult = result;
    EXPECT_EQ(layer.Write(packet), -1);
  }
  EXPECT_TRUE(layer.IsOpen()) << "a failed write leaves the device open";
}

TEST_F(HIDAPILayerTest, ReadPassesTheResultThroughWithoutWaiting) {
  Fake().nodes = {{"link", 0x16D0, 0x0F12, 0xFFAB, 0x0200}};
  std::vector<uint8_t> report(kPacketSize);
  for (int i = 0; i < kPacketSize; ++i) report[i] = static_cast<uint8_t>(i * 3);
  Fake().reads = {{0, {}}, {64, report}, {-1, {}}, {12, {1, 2, 3}}};

  HIDAPILayer layer;
  ASSERT_TRUE(layer.Open(kWanted));
  uint8_t buffer[kPacketSize] = {};
  EXPECT_EQ(layer.Read(buffer), 0) << "nothing waiting yet";
  EXPECT_EQ(layer.Read(buffer), 64) << "the report that arrived meanwhile";
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + kPacketSize), report);
  EXPECT_EQ(layer.Read(buffer), -1);
  EXPECT_EQ(layer.Read(buffer), 12) << "a short report is the link's to judge";

  EXPECT_EQ(Fake().readLimits, std::vector<int>(4, 0)) << "never waits";
  EXPECT_EQ(Fake().readLengths, std::vector<int>(4, kPacketSize));
  EXPECT_TRUE(layer.IsOpen());
}

TEST_F(HIDAPILayerTest, LiveLayersStartAndEndTheLibraryOnce) {
  Fake().nodes = {{"link", 0x16D0, 0x0F12, 0xFFAB, 0x0200}};
  auto* first = new HIDAPILayer;
  {
    HIDAPILayer second;
    EXPECT_EQ(Fake().calls, std::vector<std::string>{"hid_init"});
    ASSERT_TRUE(second.Open(kWanted));
    Fake().calls.clear();
  }
  EXPECT_EQ(Fake().calls, std::vector<std::string>{"hid_close link"})
      << "the device closes, the library stays";
  Fake().calls.clear();
  delete first;
  EXPECT_EQ(Fake().calls, std::vector<std::string>{"hid_exit"});

  // A later layer starts the library afresh, and closes its device before
  // the library ends.
  Fake().calls.clear();
  {
    HIDAPILayer again;
    ASSERT_TRUE(again.Open(kWanted));
  }
  EXPECT_EQ(Fake().calls.front(), "hid_init");
  EXPECT_EQ(Fake().calls[Fake().calls.size() - 2], "hid_close link");
  EXPECT_EQ(Fake().calls.back(), "hid_exit");
}

}  // namespace
