// The Windows command as a user runs it: kavlo-usb on the virtual interface
// in a child process, with its exact output (CR LF line ends, as a Windows
// console program writes them), exit code and what the board received.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "command_line_texts.h"
#include "console_keys.h"
#include "windows_process.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kConnected =
    "Connected to interface.\n"
    "Device firmware version: 1.0, \"Kavlo virtual interface\"\n";
const std::string kListening = "Listening for debug output. Press [escape] to exit.\n\n";
const std::string kUserExit = "\nUser exit.\n";
const std::string kDownloadTimedOut =
    "\nNibble-mode download timed out. Bootloader version 0.9C or earlier?\n"
    "Disabled download.\n\n";

// What the board model received during one run, as the logged command
// writes it when the run is over.
struct BoardLog {
  Strings blocks;  // payloads in hex
  unsigned reboots = 0;
  std::string keys;  // hex
  std::string modes;  // hex
  unsigned sessions = 0;
  unsigned disconnects = 0;
};

BoardLog ReadBoardLog(const std::string& path) {
  BoardLog log;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "block") log.blocks.push_back(value);
    if (key == "reboots") log.reboots = static_cast<unsigned>(std::stoul(value));
    if (key == "keys") log.keys = value;
    if (key == "modes") log.modes = value;
    if (key == "sessions") log.sessions = static_cast<unsigned>(std::stoul(value));
    if (key == "disconnects") log.disconnects = static_cast<unsigned>(std::stoul(value));
  }
  return log;
}

// Every line the command writes ends in CR LF.
bool EveryLineEndsInCrLf(const std::string& raw) {
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) return false;
  }
  return true;
}

class WindowsProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = "kavlo-windows-test-" + std::to_string(GetCurrentProcessId());
    directory = (std::filesystem::temp_directory_path() / name).string();
    std::filesystem::remove_all(directory);
    ASSERT_TRUE(std::filesystem::create_directories(directory));
  }

  void TearDown() override {
    if (run) {
      EXPECT_EQ(run->ErrorOutput(), "") << "nothing goes to standard error";
      EXPECT_TRUE(EveryLineEndsInCrLf(run->RawOutput()));
      run.reset();
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
  }

  // An image file whose bytes count up from `seed`, so that every byte
  // value, CR, LF and Ctrl-Z included, travels in a large enough image.
  void MakeImage(const std::string& name, size_t size, uint8_t seed = 0) {
    std::ofstream file(directory + "\\" + name, std::ios::binary);
    for (size_t i = 0; i < size; ++i) file.put(static_cast<char>(static_cast<uint8_t>(seed + i)));
  }

  // The block payload of an image record, in hex, as MakeImage made it.
  static std::string ImageRecord(uint8_t kind, size_t size, uint8_t seed = 0) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x%02x%02x", kind, static_cast<unsigned>(size >> 8),
                  static_cast<unsigned>(size & 0xFF));
    std::string hex = text;
    for (size_t i = 0; i < size; ++i) {
      std::snprintf(text, sizeof text, "%02x", static_cast<uint8_t>(seed + i));
      hex += text;
    }
    return hex;
  }

  WindowsProcess& Start(const Strings& arguments, Strings environment = {},
                        ChildConsole console = ChildConsole::Shared, const char* executable = KAVLO_LOGGED_TOOL) {
    run.reset();
    environment.push_back("KAVLO_TEST_BOARD_LOG=" + directory + "\\board.log");
    run = std::make_unique<WindowsProcess>(HostPath(executable), arguments, environment, directory, console);
    EXPECT_TRUE(run->Started());
    return *run;
  }

  // The run's output with the figures of the transfer statistics masked.
  std::string Output() { return MaskStatistics(run->Output()); }

  BoardLog Board() const { return ReadBoardLog(directory + "\\board.log"); }

  std::string directory;
  std::unique_ptr<WindowsProcess> run;
};

TEST_F(WindowsProcessTest, CommandLineFaultsEndBeforeAnyDeviceIsTouched) {
  struct Row {
    Strings arguments;
    std::string output;
  };
  const Row rows[] = {
      {{}, kUsageText},
      {{"a.bin", "--debug"}, "Invalid option: '--debug'\n"},
      {{"-debugx"}, "Invalid option: '-debugx'\n"},
      {{"/"}, "Invalid option: '/'\n"},
      // On Windows every argument that begins with "/" is an option.
      {{"/image.bin"}, "Invalid option: '/image.bin'\n"},
      {{"a.bin", "b.bin", "c.bin", "-x"}, kTooManyFilesText},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.output);
    Start(row.arguments);
    EXPECT_EQ(run->Finish(), 1);
    EXPECT_EQ(Output(), row.output);
    EXPECT_EQ(Board().sessions, 0u);
  }
}

// Every spelling of the option leads into the listening loop. The board
// answers the first debug request with its download time-out, which leaves
// the keyboard alone; a program without a console has no keyboard, so the
// run ends there as the user's exit.
TEST_F(WindowsProcessTest, OptionSpellingsWithoutAConsole) {
  for (const char* option : {"-debug", "/debug", "-DEBUG", "/Debug"}) {
    SCOPED_TRACE(option);
    Start({option}, {"KAVLO_VIRTUAL_DEBUG=timeout"}, ChildConsole::None);
    EXPECT_EQ(run->Finish(), 0);
    EXPECT_EQ(Output(), kConnected + kListening + kDownloadTimedOut + kUserExit);
    EXPECT_EQ(Board().disconnects, 1u);
  }
}

TEST_F(WindowsProcessTest, UploadsOneImageAndReboots) {
  MakeImage("first.bin", 1000, 7);
  Start({"first.bin"});
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_EQ(Output(), kConnected + "Uploading 'first.bin' (1000 bytes)...\n<statistics>\n\nRebooting...\n");
  const BoardLog board = Board();
  EXPECT_EQ(board.blocks, (Strings{ImageRecord(0x03, 1000, 7), "01"}));
  EXPECT_EQ(board.reboots, 1u);
  EXPECT_EQ(board.disconnects, 1u);
}

// Paths as Windows users give them: backslashes, a space, a drive-relative
// file beside the working directory.
TEST_F(WindowsProcessTest, UploadsTwoImagesAndReboots) {
  std::filesystem::create_directories(directory + "\\sub dir");
  MakeImage("sub dir\\second.bin", 300, 9);
  MakeImage("first.bin", 1, 0x1A);
  Start({".\\first.bin", "sub dir\\second.bin"});
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_EQ(Output(), kConnected +
                          "Uploading '.\\first.bin' (1 byte)...\n"
                          "Uploading 'sub dir\\second.bin' (300 bytes)...\n<statistics>\n\n"
                          "Rebooting...\n");
  const BoardLog board = Board();
  EXPECT_EQ(board.blocks, (Strings{"0300011a", ImageRecord(0x04, 300, 9), "01"}));
  EXPECT_EQ(board.reboots, 1u);
  EXPECT_EQ(board.disconnects, 1u);
}

TEST_F(WindowsProcessTest, RefusedBlocksEndTheRun) {
  MakeImage("first.bin", 10);
  MakeImage("second.bin", 20);
  struct Row {
    std::string refusedBlock;
    std::string output;
    unsigned blocks;  // the last one refused
  };
  const Row rows[] = {
      {"1", kConnected + "Uploading 'first.bin' (10 bytes)...\nUnable to upload, aborting.\n", 1},
      {"2:0x02", kConnected + "Uploading 'first.bin' (10 bytes)...\n"
                              "Uploading 'second.bin' (20 bytes)...\nUnable to upload, aborting.\n", 2},
      {"3", kConnected + "Uploading 'first.bin' (10 bytes)...\n"
                         "Uploading 'second.bin' (20 bytes)...\nRebooting...\n unable to reboot.\n", 3},
  };
  const std::string kRebootRecord = "01";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.refusedBlock);
    Start({"first.bin", "second.bin"}, {"KAVLO_VIRTUAL_BLOCK_STATUS=" + row.refusedBlock});
    EXPECT_EQ(run->Finish(), 1);
    EXPECT_EQ(Output(), row.output);
    const BoardLog board = Board();
    ASSERT_EQ(board.blocks.size(), row.blocks);
    const bool rebootRefused = board.blocks.back() == kRebootRecord;
    EXPECT_EQ(rebootRefused, row.blocks == 3) << "no reboot record after a refused image";
    EXPECT_EQ(board.disconnects, 1u) << "the goodbye follows every failure";
  }
}

TEST_F(WindowsProcessTest, ImagesUpTo32KB) {
  MakeImage("full.bin", 32768);
  MakeImage("big.bin", 32769);
  Start({"full.bin"});
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_EQ(Output(), kConnected + "Uploading 'full.bin' (32768 bytes)...\n<statistics>\n\nRebooting...\n");
  BoardLog board = Board();
  ASSERT_EQ(board.blocks.size(), 2u);
  EXPECT_EQ(board.blocks[0], ImageRecord(0x03, 32768));

  Start({"full.bin", "big.bin"});
  EXPECT_EQ(run->Finish(), 1);
  EXPECT_EQ(Output(), kConnected +
                          "Uploading 'full.bin' (32768 bytes)...\n<statistics>\n\n"
                          "Image file can't be larger than 32KB!\n");
  board = Board();
  EXPECT_EQ(board.blocks.size(), 1u) << "the first image stays, no reboot record";
  EXPECT_EQ(board.reboots, 0u);
}

TEST_F(WindowsProcessTest, MissingFileAndFolderCannotBeOpened) {
  std::filesystem::create_directories(directory + "\\folder");
  for (const char* path : {"missing.bin", "folder"}) {
    SCOPED_TRACE(path);
    Start({path});
    EXPECT_EQ(run->Finish(), 1);
    EXPECT_EQ(Output(), kConnected + "Can't open '" + path + "', aborting!\n");
  }
}

// The product itself, as shipped: kavlo-usb-virtual.exe.
TEST_F(WindowsProcessTest, VirtualCommandRunsTheWholeFlow) {
  MakeImage("image.bin", 4096, 3);
  Start({"image.bin"}, {}, ChildConsole::Shared, KAVLO_VIRTUAL_TOOL);
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_EQ(Output(), kConnected + "Uploading 'image.bin' (4096 bytes)...\n<statistics>\n\nRebooting...\n");
}

// Keys typed at the console the command shares with this process: the board
// echoes key blocks into its debug output, Escape ends the run.
TEST_F(WindowsProcessTest, TypedKeysReachTheBoard) {
  ConsoleKeys keys;
  if (!keys.Available()) GTEST_SKIP() << "no console: run under a terminal (scripts/test-windows.sh does)";
  keys.Clear();
  Start({"-debug"});
  ASSERT_TRUE(run->WaitForOutput(kListening)) << run->Output();
  keys.TypeText("ab");
  keys.Type(VK_RETURN, '\r');
  ASSERT_TRUE(run->WaitForOutput(kListening + "ab\n")) << run->Output();
  keys.Type(VK_LEFT, 0, ENHANCED_KEY);
  keys.TypeText("z");
  ASSERT_TRUE(run->WaitForOutput(kListening + "ab\nz")) << run->Output();
  keys.Type(VK_ESCAPE, 27);
  EXPECT_EQ(run->Finish(), 0);
  EXPECT_EQ(Output(), kConnected + kListening + "ab\nz" + kUserExit);
  const BoardLog board = Board();
  EXPECT_EQ(board.keys, "61620a7a") << "Enter goes out as a line feed, the arrow not at all";
  EXPECT_EQ(board.disconnects, 1u);
}

// Ctrl-C reaches every program of the console (this one lives on, see
// console_keys.cpp); the command ends its run cleanly: the goodbye goes out,
// the exit code tells of the interrupt.
TEST_F(WindowsProcessTest, CtrlCSaysGoodbye) {
  if (!ConsoleKeys().Available()) GTEST_SKIP() << "no console: run under a terminal (scripts/test-windows.sh does)";
  Start({"-debug"});
  ASSERT_TRUE(run->WaitForOutput(kListening)) << run->Output();
  GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  EXPECT_EQ(run->Finish(), 130);
  EXPECT_EQ(Output(), kConnected + kListening + "\nInterrupted.\n");
  EXPECT_EQ(Board().disconnects, 1u);
}

}  // namespace
