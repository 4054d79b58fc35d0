// The client against the virtual interface's board model, in real time.
#include <string>

#include "client/command_protocol.h"
#include "client/interface_client.h"
#include "scripted_client_test.h"
#include "virtual/virtual_interface.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

std::vector<uint8_t> ImageRecord(uint8_t kind, const std::vector<uint8_t>& image) {
  return Concat({kind, static_cast<uint8_t>(image.size() >> 8), static_cast<uint8_t>(image.size())},
                image);
}

// Reads debug output until the board has none left.
std::string DrainDebugOutput(InterfaceClient& client) {
  std::string text;
  uint8_t buffer[256];
  for (;;) {
    const int32_t result = client.ReadDebugOutput(buffer);
    if (result <= 0) break;
    text.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(result));
  }
  return text;
}

// A whole run as the tool makes it: version, two images, the debug mode,
// the reboot, the boot report, keys and their echo, goodbye. Run on a clean
// wire and on one that loses and doubles reports.
TEST(BoardModelTest, UploadRunReachesTheBoard) {
  struct Case {
    const char* name;
    double lossRate;
    double duplicateRate;
  };
  for (const Case& c : {Case{"clean wire", 0.0, 0.0}, Case{"lossy wire", 0.1, 0.05}}) {
    SCOPED_TRACE(c.name);
    VirtualSettings settings;
    settings.versionMajor = 1;
    settings.versionMinor = 10;
    settings.name = "Board";
    settings.lossRate = c.lossRate;
    settings.duplicateRate = c.duplicateRate;
    InstallVirtualInterface(settings);
    const std::vector<uint8_t> first = Pattern(1000, 1);
    const std::vector<uint8_t> next = Pattern(200, 2);
    const std::vector<uint8_t> firstRecord = ImageRecord(kRecordFirstImage, first);
    const std::vector<uint8_t> nextRecord = ImageRecord(kRecordNextImage, next);
    const uint8_t reboot = kRecordReboot;
    const std::vector<uint8_t> keys = {'h', 'i', kKeyEnter};
    {
      InterfaceClient client;
      ASSERT_TRUE(client.Connect());
      uint8_t major = 0;
      uint8_t minor = 0;
      char name[kVersionNameBufferSize];
      ASSERT_TRUE(client.GetVersion(major, minor, name));
      EXPECT_EQ(major, 1);
      EXPECT_EQ(minor, 10);
      EXPECT_STREQ(name, "Board");

      CaptureStdout();
      EXPECT_TRUE(client.SendBlock(firstRecord.data(), static_cast<uint16_t>(firstRecord.size()),
                                   kImageBlockLimitMs));
      const std::string statistics = GetCapturedStdout();
      EXPECT_EQ(statistics.rfind("\nTransfer time: ", 0), 0u) << statistics;
      EXPECT_EQ(statistics.back(), '\n');
      CaptureStdout();
      EXPECT_TRUE(client.SendBlock(nextRecord.data(), static_cast<uint16_t>(nextRecord.size()),
                                   kImageBlockLimitMs));
      EXPECT_EQ(GetCapturedStdout(), "") << "a block of 203 bytes prints nothing";

      EXPECT_TRUE(client.SetDebugMode(true));
      EXPECT_TRUE(client.SendBlock(&reboot, 1, kImageBlockLimitMs));
      EXPECT_EQ(DrainDebugOutput(client).rfind("Booting 2 images\nImage 1: 1000 bytes", 0), 0u);

      EXPECT_TRUE(client.SendBlock(keys.data(), static_cast<uint16_t>(keys.size()),
                                   kKeyBlockLimitMs));
      EXPECT_EQ(DrainDebugOutput(client), "hi\n");
      EXPECT_TRUE(client.Disconnect());
    }
    const VirtualBoardLog log = VirtualBoardSnapshot();
    ASSERT_EQ(log.images.size(), 2u);
    EXPECT_EQ(log.images[0].kind, kRecordFirstImage);
    EXPECT_EQ(log.images[0].bytes, first);
    EXPECT_EQ(log.images[1].kind, kRecordNextImage);
    EXPECT_EQ(log.images[1].bytes, next);
    EXPECT_EQ(log.reboots, 1u);
    EXPECT_EQ(log.debugModes, std::vector<uint8_t>{0x81});
    EXPECT_EQ(log.keys, keys);
    EXPECT_EQ(log.sessions, 1u);
    EXPECT_EQ(log.disconnects, 1u);
  }
}

// The board's faults reach the caller as failures; only a malformed debug
// answer costs the link, so only then is there no goodbye.
TEST(BoardModelTest, BoardFaults) {
  struct Case {
    const char* name;
    VirtualDebugFault debugFault;
    int32_t faultyBlock;
    int32_t readResult;
    bool blockResult;
    uint32_t disconnects;
  };
  const std::vector<Case> cases = {
      {"refused block", VirtualDebugFault::None, 1, 0, false, 1},
      {"download time-out", VirtualDebugFault::Timeout, kVirtualNever, -2, true, 1},
      {"undefined tag", VirtualDebugFault::WrongTag, kVirtualNever, -1, true, 0},
      {"over-long output", VirtualDebugFault::OverLong, kVirtualNever, -1, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSettings settings;
    settings.debugFault = c.debugFault;
    settings.faultyBlock = c.faultyBlock;
    InstallVirtualInterface(settings);
    const std::vector<uint8_t> record = ImageRecord(kRecordFirstImage, Pattern(300));
    {
      InterfaceClient client;
      ASSERT_TRUE(client.Connect());
      CaptureStdout();
      EXPECT_EQ(client.SendBlock(record.data(), static_cast<uint16_t>(record.size()),
                                 kImageBlockLimitMs),
                c.blockResult);
      const std::string printed = GetCapturedStdout();
      EXPECT_EQ(printed.empty(), !c.blockResult) << printed;
      uint8_t buffer[256];
      EXPECT_EQ(client.ReadDebugOutput(buffer), c.readResult);
      EXPECT_EQ(client.Disconnect(), c.disconnects == 1);
    }
    EXPECT_EQ(VirtualBoardSnapshot().disconnects, c.disconnects);
  }
}

// Identity 1 listed but not openable: identity 2 serves; identity 1 alone
// and not openable: no connection, and the client can tell why.
TEST(BoardModelTest, UnopenableFirstIdentity) {
  VirtualSettings settings;
  settings.nodes = {{kVirtualPrimaryIdentity, false}, {kVirtualSecondaryIdentity, true}};
  InstallVirtualInterface(settings);
  {
    InterfaceClient client;
    EXPECT_TRUE(client.Connect());
    EXPECT_FALSE(client.InterfaceListedButNotOpened());
    EXPECT_TRUE(client.Disconnect());
  }
  settings.nodes = {{kVirtualPrimaryIdentity, false}};
  InstallVirtualInterface(settings);
  {
    InterfaceClient client;
    EXPECT_FALSE(client.Connect());
    EXPECT_TRUE(client.InterfaceListedButNotOpened());
  }
  EXPECT_EQ(VirtualBoardSnapshot().sessions, 0u);
}

}  // namespace
