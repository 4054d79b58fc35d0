// The command against the virtual interface over a faulty wire: reports
// lost, doubled and delayed at random. Each run uploads two random images
// (0 to 32,768 bytes), reboots the board, shows its debug output and echoes
// typed keys, and everything is checked end to end: the images byte for
// byte as the board model received them, the board's boot report with the
// CRC-32 of each image as the tool printed it, and the typed keys both at
// the board and in the printed output.
//
// KAVLO_SOAK_RUNS sets the runs per fault profile (default 1, the short
// form the test suite runs); scripts/soak.sh runs the long form.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tool_process.h"
#include "virtual/crc32.h"

namespace {

struct FaultProfile {
  const char* name;
  const char* rate;    // loss and duplication, each per report and direction
  const char* jitter;  // ms
};

const FaultProfile kProfiles[] = {
    {"FivePercent", "0.05", "2"},
    {"TwentyPercent", "0.20", "3"},
};

// Generous bounds that only catch a hang: at 20% loss a 32 KB upload takes
// a few seconds.
constexpr int kPhaseLimitMs = 120000;
constexpr size_t kMaxImage = 32768;
constexpr const char* kEscape = "\x1b";

int RunsPerProfile() {
  const char* text = std::getenv("KAVLO_SOAK_RUNS");
  const int runs = text != nullptr ? std::atoi(text) : 1;
  return runs > 0 ? runs : 1;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (uint8_t byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

// The block an image travels in: kind, size big-endian, the bytes.
std::vector<uint8_t> ImageRecord(uint8_t kind, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> record(3 + image.size());
  record[0] = kind;
  record[1] = static_cast<uint8_t>(image.size() >> 8);
  record[2] = static_cast<uint8_t>(image.size() & 0xFF);
  std::copy(image.begin(), image.end(), record.begin() + 3);
  return record;
}

std::string BootLine(int number, const std::vector<uint8_t>& image) {
  char line[96];
  std::snprintf(line, sizeof line, "Image %d: %zu bytes, CRC-32 0x%08X", number, image.size(),
                static_cast<unsigned>(Crc32(image.data(), image.size())));
  return line;
}

class UploadSoak : public testing::TestWithParam<FaultProfile> {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kavlo-soak-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory = pattern;
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + directory + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  std::vector<uint8_t> WriteImage(const std::string& name, size_t size, std::mt19937& random) {
    std::vector<uint8_t> image(size);
    for (uint8_t& byte : image) byte = static_cast<uint8_t>(random());
    std::FILE* file = std::fopen((directory + "/" + name).c_str(), "wb");
    if (file == nullptr) return {};
    if (size > 0) std::fwrite(image.data(), 1, size, file);
    std::fclose(file);
    return image;
  }

  std::string directory;
};

TEST_P(UploadSoak, ImagesDebugOutputAndKeysSurviveTheWire) {
  const FaultProfile& profile = GetParam();
  const int runs = RunsPerProfile();
  for (int run = 0; run < runs; ++run) {
    SCOPED_TRACE("run " + std::to_string(run) + " of profile " + profile.name);
    std::mt19937 random(static_cast<uint32_t>(1000 * run + profile.name[0]));
    // The edge sizes come first, then any size.
    std::uniform_int_distribution<size_t> anySize(0, kMaxImage);
    const size_t firstSize = run == 0 ? kMaxImage : anySize(random);
    const size_t secondSize = run == 0 ? 0 : anySize(random);
    const std::vector<uint8_t> first = WriteImage("first.bin", firstSize, random);
    const std::vector<uint8_t> second = WriteImage("second.bin", secondSize, random);
    ASSERT_EQ(first.size(), firstSize);

    std::string keys;
    std::uniform_int_distribution<int> printable('!', '~');
    const int keyCount = 1 + static_cast<int>(random() % 24);
    for (int i = 0; i < keyCount; ++i) keys += static_cast<char>(printable(random));

    const std::vector<std::string> environment{
        std::string("KAVLO_VIRTUAL_LOSS=") + profile.rate,
        std::string("KAVLO_VIRTUAL_DUPLICATE=") + profile.rate,
        std::string("KAVLO_VIRTUAL_JITTER=") + profile.jitter,
        "KAVLO_VIRTUAL_SEED=" + std::to_string(random() % 100000),
    };
    ToolProcess tool(KAVLO_LOGGED_TOOL, {"-debug", "first.bin", "second.bin"}, environment, directory);
    ASSERT_TRUE(tool.WaitForOutput("Listening for debug output. Press [escape] to exit.\n\n", kPhaseLimitMs))
        << tool.Output();
    ASSERT_TRUE(tool.WaitForOutput(BootLine(2, second), kPhaseLimitMs)) << tool.Output();
    EXPECT_NE(tool.Output().find(BootLine(1, first)), std::string::npos) << tool.Output();
    ASSERT_TRUE(tool.WaitForKeyMode(true, kPhaseLimitMs));

    tool.Type(keys);
    EXPECT_TRUE(tool.WaitForOutput(keys, kPhaseLimitMs)) << tool.Output();
    tool.Type(kEscape);
    EXPECT_EQ(tool.Finish(kPhaseLimitMs), 0) << tool.Output();
    EXPECT_EQ(tool.ErrorOutput(), "");

    const BoardLog board = tool.Board();
    // Blocks: both image records, the reboot record, then the key blocks.
    ASSERT_GE(board.blocks.size(), 3u) << tool.Output();
    EXPECT_TRUE(board.blocks[0] == Hex(ImageRecord(0x03, first))) << "first image differs at the board";
    EXPECT_TRUE(board.blocks[1] == Hex(ImageRecord(0x04, second))) << "second image differs at the board";
    EXPECT_EQ(board.blocks[2], "01");
    EXPECT_EQ(board.reboots, 1u);
    EXPECT_EQ(board.keys, Hex(std::vector<uint8_t>(keys.begin(), keys.end())));
    EXPECT_EQ(board.disconnects, 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(FaultyWire, UploadSoak, testing::ValuesIn(kProfiles),
                         [](const testing::TestParamInfo<FaultProfile>& info) { return info.param.name; });

}  // namespace
