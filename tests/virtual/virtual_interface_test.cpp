#include "virtual/virtual_interface.h"

#include <gtest/gtest.h>
#include <hidapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "raw_host.h"
#include "virtual/crc32.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kGetVersion{0x01};
const Bytes kDisconnect{0xFF};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The default board's whole VersionReply.
Bytes DefaultVersionReply() {
  const VirtualSettings defaults;
  Bytes reply = Text("\x02..." + defaults.name);
  reply[1] = defaults.versionMajor;
  reply[2] = defaults.versionMinor;
  reply[3] = static_cast<uint8_t>(defaults.name.size());
  return reply;
}

// An image record: kind, size high byte first, then the image.
Bytes ImageRecord(uint8_t kind, const Bytes& image) {
  Bytes record(3 + image.size());
  record[0] = kind;
  record[1] = static_cast<uint8_t>(image.size() >> 8);
  record[2] = static_cast<uint8_t>(image.size());
  std::copy(image.begin(), image.end(), record.begin() + 3);
  return record;
}

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
  return bytes;
}

std::string BootText(const std::vector<Bytes>& images) {
  std::string text =
      "Booting " + std::to_string(images.size()) + (images.size() == 1 ? " image\n" : " images\n");
  for (size_t i = 0; i < images.size(); ++i) {
    char line[80];
    std::snprintf(line, sizeof line, "Image %zu: %zu bytes, CRC-32 0x%08X\n", i + 1,
                  images[i].size(),
                  static_cast<unsigned>(Crc32(images[i].data(), images[i].size())));
    text += line;
  }
  return text;
}

// Reads debug output until the interface has none left.
std::string DrainDebug(RawHost& host) {
  std::string text;
  for (;;) {
    const Bytes data = host.ReadDebug();
    if (data.empty()) return text;
    text.append(data.begin(), data.end());
  }
}

class VirtualInterfaceTest : public ::testing::Test {
 protected:
  void Install(const VirtualSettings& settings) { InstallVirtualInterface(settings); }
  void SetUp() override { Install(VirtualSettings{}); }
};

TEST_F(VirtualInterfaceTest, RawHostConnectsReadsVersionAndSendsBlocks) {
  VirtualSettings settings;
  settings.versionMajor = 3;
  settings.versionMinor = 14;
  settings.name = "Bench";
  Install(settings);

  RawHost host;
  ASSERT_TRUE(host.Open());
  ASSERT_TRUE(host.Connect());
  EXPECT_EQ(host.Exchange(kGetVersion, 9), (Bytes{0x02, 3, 14, 5, 'B', 'e', 'n', 'c', 'h'}));

  const Bytes image = Pattern(1000, 0x11);
  EXPECT_EQ(host.SendBlock(ImageRecord(0x03, image)), 0x00);
  EXPECT_EQ(host.SendBlock({}), 0x00) << "an empty block has nothing to do";
  EXPECT_EQ(host.SendBlock({0x55, 0x01}), 0x01) << "0x01 is no key code";
  EXPECT_EQ(host.Exchange(kDisconnect, 1), Bytes{0x00});

  const VirtualBoardLog log = VirtualBoardSnapshot();
  ASSERT_EQ(log.blocks.size(), 3u);
  EXPECT_EQ(log.blocks[0], ImageRecord(0x03, image));
  ASSERT_EQ(log.images.size(), 1u);
  EXPECT_EQ(log.images[0].kind, 0x03);
  EXPECT_EQ(log.images[0].bytes, image);
  EXPECT_EQ(log.sessions, 1u);
  EXPECT_EQ(log.disconnects, 1u);
}

// A whole upload session: version, two images, debug mode, reboot, the
// boot report, goodbye.
void RunUploadSession(RawHost& host) {
  const Bytes first = Pattern(1500, 0x21);
  const Bytes next = Pattern(100, 0x99);
  ASSERT_TRUE(host.Open());
  ASSERT_TRUE(host.Connect());
  const Bytes version = DefaultVersionReply();
  EXPECT_EQ(host.Exchange(kGetVersion, static_cast<uint32_t>(version.size())), version);
  EXPECT_EQ(host.SendBlock(ImageRecord(0x03, first)), 0x00);
  EXPECT_EQ(host.SendBlock(ImageRecord(0x04, next)), 0x00);
  EXPECT_EQ(host.Exchange({0x04, 0x81}, 1), Bytes{0x00});
  EXPECT_EQ(host.SendBlock({0x01}), 0x00);
  EXPECT_EQ(DrainDebug(host), BootText({first, next}));
  EXPECT_EQ(host.Exchange(kDisconnect, 1), Bytes{0x00});

  const VirtualBoardLog log = VirtualBoardSnapshot();
  ASSERT_EQ(log.images.size(), 2u);
  EXPECT_EQ(log.images[0].bytes, first);
  EXPECT_EQ(log.images[1].bytes, next);
  EXPECT_EQ(log.reboots, 1u);
  EXPECT_EQ(log.debugModes, Bytes{0x81});
}

TEST_F(VirtualInterfaceTest, SessionSurvivesAFaultyWire) {
  struct WireCase {
    const char* name;
    double loss;
    double duplicate;
    uint32_t latency;
    uint32_t jitter;
    uint32_t seed;
  };
  const WireCase cases[] = {
      // name                     loss  dup   latency jitter seed
      {"10% loss",                  0.10, 0.00, 0,      0,     1},
      {"10% loss, another seed",    0.10, 0.00, 0,      0,     77},
      {"20% duplication",           0.00, 0.20, 0,      0,     1},
      {"latency and jitter",        0.00, 0.00, 5,      10,    1},
      {"all at once",               0.05, 0.05, 2,      4,     3},
  };
  for (const WireCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSettings settings;
    settings.lossRate = c.loss;
    settings.duplicateRate = c.duplicate;
    settings.latencyMs = c.latency;
    settings.jitterMs = c.jitter;
    settings.seed = c.seed;
    Install(settings);
    RawHost host;
    RunUploadSession(host);
  }
}

TEST_F(VirtualInterfaceTest, BoardKeepsImagesEchoesKeysAndBoundsDebugAnswers) {
  RawHost host;
  ASSERT_TRUE(host.Open());
  ASSERT_TRUE(host.Connect());

  const Bytes a = Pattern(10, 1), b = Pattern(20, 2), c = Pattern(30, 3), d = Pattern(0, 4);
  EXPECT_EQ(host.SendBlock(ImageRecord(0x03, a)), 0x00);
  EXPECT_EQ(host.SendBlock(ImageRecord(0x04, b)), 0x00);
  EXPECT_EQ(host.SendBlock(ImageRecord(0x04, c)), 0x00) << "a next image replaces the next";
  EXPECT_EQ(host.SendBlock({0x03, 0x00, 0x05, 1, 2}), 0x01) << "size does not match the block";
  EXPECT_EQ(host.SendBlock({0x03, 0x80, 0x01}), 0x01) << "above 32768 bytes";
  EXPECT_EQ(host.SendBlock({0x01, 0x01}), 0x01) << "a reboot record is one byte";
  EXPECT_EQ(host.SendBlock({0x01}), 0x00);
  EXPECT_EQ(DrainDebug(host), BootText({a, c}));
  EXPECT_EQ(host.SendBlock(ImageRecord(0x03, d)), 0x00) << "a first image starts a new set";
  EXPECT_EQ(host.SendBlock({0x01}), 0x00);
  EXPECT_EQ(DrainDebug(host), BootText({d}));

  // Keys come back as output; one answer carries at most 256 bytes, and no
  // more than the host's maximum.
  const Bytes keys = Text("abcdefghijklmn\t\n");
  for (int i = 0; i < 20; ++i) ASSERT_EQ(host.SendBlock(keys), 0x00);
  EXPECT_EQ(host.SendBlock(Text("0123456789abcdefg")), 0x01) << "17 keys";
  EXPECT_EQ(host.SendBlock({0x08, 0x7F, 0x20}), 0x00);
  EXPECT_EQ(host.Exchange({0x03, 0x0A, 0x00}, 13),
            (Bytes{0x05, 0x0A, 0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}));
  EXPECT_EQ(host.ReadDebug().size(), 256u);
  EXPECT_EQ(host.ReadDebug().size(), 320u - 10 - 256 + 3);
  EXPECT_EQ(host.ReadDebug(), Bytes{}) << "nothing left: DebugData of length 0";

  // SetDebugMode takes the two modes the host sends.
  EXPECT_EQ(host.Exchange({0x04, 0x01}, 1), Bytes{0x00});
  EXPECT_EQ(host.Exchange({0x04, 0x02}, 1), Bytes{0x01});

  const VirtualBoardLog log = VirtualBoardSnapshot();
  EXPECT_EQ(log.keys.size(), 20u * 16 + 3);
  EXPECT_EQ(log.reboots, 2u);
  EXPECT_EQ(log.debugModes, (Bytes{0x01, 0x02}));
}

TEST_F(VirtualInterfaceTest, ChosenBlockGetsTheChosenStatus) {
  VirtualSettings settings;
  settings.faultyBlock = 2;
  settings.faultyBlockStatus = 0x07;
  Install(settings);
  RawHost host;
  ASSERT_TRUE(host.Open());
  ASSERT_TRUE(host.Connect());
  EXPECT_EQ(host.SendBlock(Text("a")), 0x00);
  EXPECT_EQ(host.SendBlock(Text("b")), 0x07);
  EXPECT_EQ(host.SendBlock(Text("c")), 0x00);
}

TEST_F(VirtualInterfaceTest, DebugFaultsGiveTheirAnswer) {
  struct DebugCase {
    VirtualDebugFault fault;
    Bytes head;
    uint32_t dataLength;
  };
  const DebugCase cases[] = {
      {VirtualDebugFault::Timeout, {0x04, 0x00, 0x00}, 0},
      {VirtualDebugFault::WrongTag, {0x06, 0x00, 0x00}, 0},
      {VirtualDebugFault::OverLong, {0x05, 0x01, 0x01}, 257},
      {VirtualDebugFault::TimeoutWithLength, {0x04, 0x01, 0x00}, 0},
  };
  for (const DebugCase& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    VirtualSettings settings;
    settings.debugFault = c.fault;
    Install(settings);
    RawHost host;
    ASSERT_TRUE(host.Open());
    ASSERT_TRUE(host.Connect());
    EXPECT_EQ(host.SendBlock(Text("x")), 0x00);
    EXPECT_EQ(host.Exchange({0x03, 0x00, 0x01}, 3), c.head);
    EXPECT_EQ(host.Receive(c.dataLength).size(), c.dataLength);
  }
}

TEST_F(VirtualInterfaceTest, SilentCommandIsReadButNeverAnswered) {
  constexpr int32_t kQuietMs = 200;
  for (const uint8_t silent : {uint8_t{0x01}, uint8_t{0xFF}}) {
    SCOPED_TRACE(silent);
    VirtualSettings settings;
    settings.silentCommand = silent;
    Install(settings);
    RawHost host;
    ASSERT_TRUE(host.Open());
    ASSERT_TRUE(host.Connect());
    EXPECT_EQ(host.Exchange({silent}, 1, kQuietMs), Bytes{});
    EXPECT_EQ(host.Exchange({0x04, 0x01}, 1), Bytes{0x00}) << "later commands are served";
    EXPECT_EQ(host.link->CurrentState(), LinkState::Connected);
  }
}

// Polls the layer until a report or a failure comes, for at most 2 s.
int32_t ReadWithin(HIDAPILayer& layer, uint8_t* buffer) {
  for (int tries = 0; tries < 2000; ++tries) {
    const int32_t result = layer.Read(buffer);
    if (result != 0) return result;
    SystemClock().Sleep(1);
  }
  return 0;
}

TEST_F(VirtualInterfaceTest, ReportFaultsFailWriteOrRead) {
  // A data packet to a device without a link is answered with one Reset.
  const uint8_t data[kPacketSize] = {0x00, 0x00, 0x01, 'x'};
  uint8_t answer[kPacketSize];

  VirtualSettings settings;
  settings.writeFailsAfter = 2;
  Install(settings);
  {
    HIDAPILayer layer;
    ASSERT_TRUE(layer.Open(kVirtualPrimaryIdentity));
    EXPECT_EQ(layer.Write(data), 64);
    EXPECT_EQ(layer.Write(data), 64);
    EXPECT_EQ(layer.Write(data), -1);
    EXPECT_EQ(layer.Write(data), -1);
    EXPECT_EQ(ReadWithin(layer, answer), 64) << "reading goes on";
  }

  settings = VirtualSettings{};
  settings.readFailsAfter = 1;
  Install(settings);
  {
    HIDAPILayer layer;
    ASSERT_TRUE(layer.Open(kVirtualPrimaryIdentity));
    EXPECT_EQ(layer.Write(data), 64);
    EXPECT_EQ(ReadWithin(layer, answer), 64);
    EXPECT_EQ(layer.Read(answer), -1);
    EXPECT_EQ(layer.Write(data), 64) << "writing goes on";
    EXPECT_EQ(layer.Read(answer), -1);
  }

  // Either fault from the start: the handshake cannot complete.
  for (const bool failWrites : {true, false}) {
    SCOPED_TRACE(failWrites ? "writes fail" : "reads fail");
    settings = VirtualSettings{};
    (failWrites ? settings.writeFailsAfter : settings.readFailsAfter) = 0;
    Install(settings);
    RawHost host;
    ASSERT_TRUE(host.Open());
    EXPECT_FALSE(host.Connect());
  }
}

TEST_F(VirtualInterfaceTest, DeviceIsListedAndOpenedAsConfigured) {
  struct PresenceCase {
    const char* name;
    std::vector<VirtualNode> nodes;
    DeviceMatch wanted;
    bool listed;
    bool opened;
  };
  const VirtualNode primary{kVirtualPrimaryIdentity, true};
  const VirtualNode primaryLocked{kVirtualPrimaryIdentity, false};
  const VirtualNode secondary{kVirtualSecondaryIdentity, true};
  const VirtualNode otherInterface{{0x16D0, 0x0F12, 0x0001, 0x0006}, true};
  const PresenceCase cases[] = {
      {"absent", {}, kVirtualPrimaryIdentity, false, false},
      {"listed but not openable", {primaryLocked}, kVirtualPrimaryIdentity, true, false},
      {"second identity behind a locked first",
       {primaryLocked, secondary},
       kVirtualSecondaryIdentity,
       true,
       true},
      {"only the second identity", {secondary}, kVirtualPrimaryIdentity, false, false},
      {"beside another interface", {otherInterface, primary}, kVirtualPrimaryIdentity, true, true},
  };
  for (const PresenceCase& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualSettings settings;
    settings.nodes = c.nodes;
    Install(settings);
    RawHost host;
    EXPECT_EQ(host.layer.Open(c.wanted), c.listed);
    EXPECT_EQ(host.layer.IsOpen(), c.opened);
    if (c.opened) {
      host.NewLink();
      EXPECT_TRUE(host.Connect());
    }
  }
}

TEST_F(VirtualInterfaceTest, ReportsKeepTheUsbFraming) {
  ASSERT_EQ(hid_init(), 0);
  hid_device_info* list = hid_enumerate(0, 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->next, nullptr);
  EXPECT_EQ(list->vendor_id, kVirtualPrimaryIdentity.vendor_id);
  EXPECT_EQ(list->usage_page, kVirtualPrimaryIdentity.usage_page);
  hid_device* device = hid_open_path(list->path);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(hid_open_path(list->path), nullptr) << "one host at a time";
  EXPECT_EQ(hid_open_path("/dev/hidraw0"), nullptr);
  hid_free_enumeration(list);

  // A data packet to a device that has no link yet is answered with Reset.
  uint8_t report[65] = {0x00, 0x00, 0x00, 0x01, 'x'};
  EXPECT_EQ(hid_write(device, report, 64), -1) << "short report";
  report[0] = 0x01;
  EXPECT_EQ(hid_write(device, report, 65), -1) << "numbered report";
  report[0] = 0x00;
  EXPECT_EQ(hid_write(device, report, 65), 65);
  uint8_t answer[64] = {};
  ASSERT_EQ(hid_read_timeout(device, answer, sizeof answer, 2000), 64);
  EXPECT_EQ(answer[2], 0x40);
  EXPECT_EQ(answer[3], 0x05);

  // Ending the library stops the device; its handle fails until closed.
  EXPECT_EQ(hid_exit(), 0);
  EXPECT_EQ(hid_write(device, report, 65), -1);
  EXPECT_EQ(hid_read_timeout(device, answer, sizeof answer, 0), -1);
  hid_close(device);
}

TEST_F(VirtualInterfaceTest, NewSessionFollowsWhateverEndedTheLast) {
  enum class Ending { Disconnect, HostVanished, HostAborted };
  const std::pair<const char*, Ending> cases[] = {
      {"disconnect", Ending::Disconnect},
      {"host went away without a word", Ending::HostVanished},
      {"host aborted and connects again on the same link", Ending::HostAborted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    Install(VirtualSettings{});
    RawHost host;
    ASSERT_TRUE(host.Open());
    ASSERT_TRUE(host.Connect());
    const Bytes version = DefaultVersionReply();
    EXPECT_EQ(host.Exchange(kGetVersion, static_cast<uint32_t>(version.size())), version);
    switch (c.second) {
      case Ending::Disconnect:
        EXPECT_EQ(host.Exchange(kDisconnect, 1), Bytes{0x00});
        host.NewLink();
        break;
      case Ending::HostVanished:
        host.NewLink();
        break;
      case Ending::HostAborted:
        host.link->Abort();
        break;
    }
    ASSERT_TRUE(host.Connect());
    EXPECT_EQ(host.Exchange({0x04, 0x01}, 1), Bytes{0x00});
    EXPECT_EQ(VirtualBoardSnapshot().sessions, 2u);
  }
}

TEST_F(VirtualInterfaceTest, ClosingMidSessionStopsTheDevice) {
  VirtualSettings settings;
  settings.debugFault = VirtualDebugFault::OverLong;
  Install(settings);
  for (int round = 0; round < 2; ++round) {
    RawHost host;
    ASSERT_TRUE(host.Open()) << "the device can be opened again after a close";
    ASSERT_TRUE(host.Connect());
    // The firmware blocks in Send with 260 bytes that nobody reads.
    ASSERT_TRUE(host.Send({0x03, 0x00, 0x01}));
  }
}

// A scripted firmware: answers every byte with its complement.
class ComplementFirmware final : public VirtualFirmware {
 public:
  void Serve(TransportDevice& link) override {
    sessions += 1;
    uint8_t byte;
    while (link.Receive(&byte, 1, kNoLimit) == 1) {
      byte = static_cast<uint8_t>(~byte);
      if (link.Send(&byte, 1, kNoLimit) != 1) return;
    }
  }
  std::atomic<int> sessions{0};
};

TEST_F(VirtualInterfaceTest, ScriptedFirmwareServesTheLink) {
  auto firmware = std::make_unique<ComplementFirmware>();
  ComplementFirmware* script = firmware.get();
  InstallVirtualInterface(VirtualSettings{}, std::move(firmware));
  {
    RawHost host;
    ASSERT_TRUE(host.Open());
    ASSERT_TRUE(host.Connect());
    EXPECT_EQ(host.Exchange({0x00, 0x0F, 0xFF}, 3), (Bytes{0xFF, 0xF0, 0x00}));
    host.NewLink();
    ASSERT_TRUE(host.Connect());
    EXPECT_EQ(host.Exchange({0x55}, 1), Bytes{0xAA});
  }
  EXPECT_EQ(script->sessions.load(), 2);
  EXPECT_TRUE(VirtualBoardSnapshot().blocks.empty()) << "no board model runs";
}

}  // namespace
