// The command as a user runs it: kavlo-usb on the virtual interface, under a
// pseudo-terminal, with its exact output, exit code and what the board
// received.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "command_line_texts.h"
#include "scratch_directory.h"
#include "tool_process.h"

namespace {

using Strings = std::vector<std::string>;

const std::string kConnected =
    "Connected to interface.\n"
    "Device firmware version: 1.0, \"Kavlo virtual interface\"\n";
const std::string kListening = "Listening for debug output. Press [escape] to exit.\n\n";
const std::string kUserExit = "\nUser exit.\n";
const std::string kEscape = "\x1b";

class ToolProcessTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(directory.empty()); }

  void TearDown() override {
    if (run) {
      EXPECT_EQ(run->ErrorOutput(), "") << "nothing goes to standard error";
      run.reset();
    }
  }

  // An image file whose bytes count up from `seed`.
  std::string MakeImage(const std::string& name, size_t size, uint8_t seed = 0) {
    std::FILE* file = std::fopen((directory + "/" + name).c_str(), "wb");
    for (size_t i = 0; i < size; ++i) std::fputc(static_cast<uint8_t>(seed + i), file);
    std::fclose(file);
    return name;
  }

  // The block payload of an image record, in hex, as MakeImage made it.
  static std::string ImageRecord(uint8_t kind, size_t size, uint8_t seed = 0) {
    char text[8];
    std::string hex;
    std::snprintf(text, sizeof text, "%02x%02x%02x", kind, static_cast<unsigned>(size >> 8),
                  static_cast<unsigned>(size & 0xFF));
    hex = text;
    for (size_t i = 0; i < size; ++i) {
      std::snprintf(text, sizeof text, "%02x", static_cast<uint8_t>(seed + i));
      hex += text;
    }
    return hex;
  }

  ToolProcess& Start(const Strings& arguments, const Strings& environment = {},
                     ToolStreams streams = ToolStreams::Terminal, const char* executable = KAVLO_LOGGED_TOOL) {
    run = std::make_unique<ToolProcess>(executable, arguments, environment, directory, streams);
    return *run;
  }

  // Starts a -debug run and waits until its listening loop reads keys.
  ToolProcess& StartListening(const Strings& environment = {}, const Strings& files = {},
                              ToolStreams streams = ToolStreams::Terminal) {
    Strings arguments{"-debug"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    ToolProcess& tool = Start(arguments, environment, streams);
    EXPECT_TRUE(tool.WaitForOutput(kListening)) << tool.Output();
    EXPECT_TRUE(tool.WaitForKeyMode(true));
    return tool;
  }

  ScratchDirectory scratch{"kavlo-tool-test"};
  const std::string directory = scratch.Path();
  std::unique_ptr<ToolProcess> run;
};

TEST_F(ToolProcessTest, CommandLineFaultsEndBeforeAnyDeviceIsTouched) {
  struct Row {
    Strings arguments;
    std::string output;
  };
  const Row rows[] = {
      {{}, kUsageText},
      {{"a.bin", "--debug"}, "Invalid option: '--debug'\n"},
      {{"a.bin", "b.bin", "c.bin", "-x"}, kTooManyFilesText},
  };
  for (const Row& row : rows) {
    ToolProcess& tool = Start(row.arguments);
    EXPECT_EQ(tool.Finish(), 1);
    EXPECT_EQ(tool.Output(), row.output);
    EXPECT_EQ(tool.Board().sessions, 0u);
  }
}

TEST_F(ToolProcessTest, UploadsImagesAndReboots) {
  MakeImage("first.bin", 1000, 7);
  MakeImage("second.bin", 300, 9);
  ToolProcess& tool = Start({"first.bin", "second.bin"});
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected +
                               "Uploading 'first.bin' (1000 bytes)...\n<statistics>\n\n"
                               "Uploading 'second.bin' (300 bytes)...\n<statistics>\n\n"
                               "Rebooting...\n");
  const BoardLog board = tool.Board();
  EXPECT_EQ(board.blocks, (Strings{ImageRecord(0x03, 1000, 7), ImageRecord(0x04, 300, 9), "01"}));
  EXPECT_EQ(board.reboots, 1u);
  EXPECT_EQ(board.modes, "") << "no SetDebugMode without the option";
  EXPECT_EQ(board.disconnects, 1u);
}

TEST_F(ToolProcessTest, SingularByteAndEmptyImage) {
  MakeImage("one.bin", 1, 0x5A);
  MakeImage("empty.bin", 0);
  ToolProcess& tool = Start({"one.bin", "empty.bin"});
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected +
                               "Uploading 'one.bin' (1 byte)...\n"
                               "Uploading 'empty.bin' (0 bytes)...\n"
                               "Rebooting...\n");
  EXPECT_EQ(tool.Board().blocks, (Strings{"0300015a", "040000", "01"}));
}

TEST_F(ToolProcessTest, LargestImageIsUploaded) {
  MakeImage("full.bin", 32768);
  ToolProcess& tool = Start({"full.bin"});
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + "Uploading 'full.bin' (32768 bytes)...\n<statistics>\n\nRebooting...\n");
  const BoardLog board = tool.Board();
  ASSERT_EQ(board.blocks.size(), 2u);
  EXPECT_EQ(board.blocks[0], ImageRecord(0x03, 32768));
}

// The first image stays with the interface; the second fails after the
// version step, and no reboot record follows.
TEST_F(ToolProcessTest, SecondImageFaultEndsTheRunWithoutReboot) {
  MakeImage("first.bin", 10);
  MakeImage("big.bin", 32769);
  mkdir((directory + "/folder").c_str(), 0755);
  struct Row {
    std::string second;
    std::string message;
  };
  const Row rows[] = {
      {"big.bin", "Image file can't be larger than 32KB!\n"},
      {"missing.bin", "Can't open 'missing.bin', aborting!\n"},
      {"folder", "Can't open 'folder', aborting!\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.second);
    ToolProcess& tool = Start({"first.bin", row.second});
    EXPECT_EQ(tool.Finish(), 1);
    EXPECT_EQ(tool.Output(), kConnected + "Uploading 'first.bin' (10 bytes)...\n" + row.message);
    const BoardLog board = tool.Board();
    EXPECT_EQ(board.blocks, Strings{ImageRecord(0x03, 10)});
    EXPECT_EQ(board.reboots, 0u);
    EXPECT_EQ(board.disconnects, 1u);
  }
}

TEST_F(ToolProcessTest, RefusedRebootFails) {
  MakeImage("first.bin", 10);
  ToolProcess& tool = Start({"first.bin"}, {"KAVLO_VIRTUAL_BLOCK_STATUS=2"});
  EXPECT_EQ(tool.Finish(), 1);
  EXPECT_EQ(tool.Output(), kConnected + "Uploading 'first.bin' (10 bytes)...\nRebooting...\n unable to reboot.\n");
  EXPECT_EQ(tool.Board().disconnects, 1u);
}

TEST_F(ToolProcessTest, NoInterfaceAndInterfaceWithoutPermission) {
  struct Row {
    std::string devices;
    std::string output;
  };
  const Row rows[] = {
      {"none", "Unable to connect to device!\n"},
      {"primary:locked",
       "Unable to connect to device!\n"
       "An interface was found but could not be opened: no permission? "
       "See \"Allowing access\" in the README (udev rule 70-kavlo-usb.rules).\n"},
  };
  for (const Row& row : rows) {
    ToolProcess& tool = Start({"-debug"}, {"KAVLO_VIRTUAL_DEVICES=" + row.devices});
    EXPECT_EQ(tool.Finish(), 1);
    EXPECT_EQ(tool.Output(), row.output);
  }
}

// The interface never answers SetDebugMode, so the client gives up after
// its idle limit: fatal without images, a warning after them.
TEST_F(ToolProcessTest, DebugModeFailureWithoutImagesIsFatal) {
  ToolProcess& tool = Start({"-debug"}, {"KAVLO_VIRTUAL_SILENT=4"});
  EXPECT_EQ(tool.Finish(), 1);
  EXPECT_EQ(tool.Output(), kConnected + "Error configuring debug output mode, aborting.\n");
}

TEST_F(ToolProcessTest, DebugModeFailureAfterImagesGoesOn) {
  MakeImage("first.bin", 10);
  ToolProcess& tool = StartListening({"KAVLO_VIRTUAL_SILENT=4"}, {"first.bin"});
  ASSERT_TRUE(tool.WaitForOutput("Booting 1 image\n"));
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + "Uploading 'first.bin' (10 bytes)...\n"
                                        "Error configuring debug output mode, debug output may be unavailable.\n"
                                        "Rebooting...\n" +
                               kListening + "Booting 1 image\nImage 1: 10 bytes, CRC-32 0x456CD746\n" + kUserExit);
  EXPECT_EQ(tool.Board().modes, "81");
}

TEST_F(ToolProcessTest, EscapeFirstEndsTheRun) {
  ToolProcess& tool = StartListening();
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + kListening + kUserExit);
  const BoardLog board = tool.Board();
  EXPECT_EQ(board.modes, "01");
  EXPECT_EQ(board.blocks, Strings{});
  EXPECT_EQ(board.disconnects, 1u);
  EXPECT_TRUE((tool.TerminalSettings().c_lflag & (ICANON | ECHO)) == (ICANON | ECHO)) << "line mode is back";
}

// The board echoes key blocks, so the echo tells when a block was served.
TEST_F(ToolProcessTest, TypedKeysGoOutInBlocksOfAtMostSixteen) {
  ToolProcess& tool = StartListening();
  tool.Type("ab\r");
  ASSERT_TRUE(tool.WaitForOutput("ab\n"));
  tool.Type("abcdefghijklmnopqrst");
  ASSERT_TRUE(tool.WaitForOutput("abcdefghijklmnopqrst"));
  tool.Type("\x7f\t~");
  ASSERT_TRUE(tool.WaitForOutput("\b\t~"));
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "ab\nabcdefghijklmnopqrst\b\t~" + kUserExit);
  EXPECT_EQ(tool.Board().blocks, (Strings{"61620a", "6162636465666768696a6b6c6d6e6f70", "71727374", "08097e"}));
}

// Arrows, function keys, Alt+key, NUL and non-ASCII characters arrive as
// prefix pairs: nothing is sent and none of them ends the run.
TEST_F(ToolProcessTest, ExtendedKeysSendNothing) {
  ToolProcess& tool = StartListening();
  for (const std::string& keys : Strings{"\x1b[A", "\x1b[3~", "\x1bOP", "\x1bx", std::string("\0", 1), "\xc3\xa9", "\x1b\x1b[D"}) {
    tool.Type(keys);
    tool.WaitUntilInputTaken();
  }
  tool.Type("z");
  ASSERT_TRUE(tool.WaitForOutput("z"));
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "z" + kUserExit);
  EXPECT_EQ(tool.Board().blocks, Strings{"7a"});
}

TEST_F(ToolProcessTest, KeysBeforeEscapeInOneGatheringAreNotSent) {
  ToolProcess& tool = StartListening();
  tool.Type("abc" + kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + kListening + kUserExit);
  EXPECT_EQ(tool.Board().blocks, Strings{});
}

TEST_F(ToolProcessTest, DownloadTimeoutLeavesTheKeyboard) {
  ToolProcess& tool = StartListening({"KAVLO_VIRTUAL_DEBUG=timeout"});
  const std::string timedOut =
      "\nNibble-mode download timed out. Bootloader version 0.9C or earlier?\nDisabled download.\n\n";
  ASSERT_TRUE(tool.WaitForOutput(timedOut));
  tool.Type("x");
  tool.WaitUntilInputTaken();
  tool.Type("y\r");
  tool.WaitUntilInputTaken();
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + kListening + timedOut + kUserExit);
  EXPECT_EQ(tool.Board().blocks, (Strings{"78", "790a"}));
}

TEST_F(ToolProcessTest, FailedDebugRequestEndsTheRun) {
  ToolProcess& tool = Start({"-debug"}, {"KAVLO_VIRTUAL_DEBUG=wrong-tag"});
  EXPECT_EQ(tool.Finish(), 1);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "\nDisconnected from device.\n");
  EXPECT_EQ(tool.Board().disconnects, 0u) << "the link was aborted";
}

TEST_F(ToolProcessTest, RefusedKeyBlockEndsTheRun) {
  ToolProcess& tool = StartListening({"KAVLO_VIRTUAL_BLOCK_STATUS=1"});
  tool.Type("k");
  EXPECT_EQ(tool.Finish(), 1);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "\nKey timeout, disconnected from device.\n");
  EXPECT_EQ(tool.Board().disconnects, 1u);
}

TEST_F(ToolProcessTest, CtrlCSaysGoodbyeAndRestoresTheTerminal) {
  ToolProcess& tool = StartListening();
  tool.Type("\x03");
  EXPECT_EQ(tool.Finish(), 130);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "\nInterrupted.\n");
  EXPECT_EQ(tool.Board().disconnects, 1u);
  const termios after = tool.TerminalSettings();
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), static_cast<tcflag_t>(ICANON | ECHO | ISIG));
  EXPECT_NE(after.c_oflag & OPOST, 0u);
}

// Ctrl-Z gives the terminal its line mode back while the tool is stopped;
// continued in the foreground, the console reads keys again.
TEST_F(ToolProcessTest, SuspendRestoresTheTerminalUntilResumed) {
  ToolProcess& tool = StartListening({}, {}, ToolStreams::TerminalJob);
  tool.Type("\x1a");
  ASSERT_TRUE(tool.WaitUntilSuspended());
  EXPECT_TRUE((tool.TerminalSettings().c_lflag & (ICANON | ECHO)) == (ICANON | ECHO));
  tool.ResumeInForeground();
  ASSERT_TRUE(tool.WaitForKeyMode(true));
  tool.Type("go");
  ASSERT_TRUE(tool.WaitForOutput("go"));
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "go" + kUserExit);
  EXPECT_EQ(tool.Board().blocks, Strings{"676f"});
}

TEST_F(ToolProcessTest, TerminationRequestEndsTheRunCleanly) {
  ToolProcess& tool = StartListening();
  kill(tool.Pid(), SIGTERM);
  EXPECT_EQ(tool.Finish(), 128 + SIGTERM);
  EXPECT_EQ(tool.Output(), kConnected + kListening + "\nInterrupted.\n");
  EXPECT_EQ(tool.Board().disconnects, 1u);
  EXPECT_TRUE((tool.TerminalSettings().c_lflag & (ICANON | ECHO)) == (ICANON | ECHO));
}

// Input from /dev/null ends at once: with debug output the loop goes on
// (until stopped); in keyboard-only mode the end of input ends the run.
TEST_F(ToolProcessTest, EndOfRedirectedInput) {
  {
    ToolProcess& tool = Start({"-debug"}, {"KAVLO_VIRTUAL_DEBUG=timeout"}, ToolStreams::InputFromNull);
    EXPECT_EQ(tool.Finish(), 0);
    EXPECT_EQ(tool.Output(), kConnected + kListening +
                                 "\nNibble-mode download timed out. Bootloader version 0.9C or earlier?\n"
                                 "Disabled download.\n\n" +
                                 kUserExit);
  }
  MakeImage("first.bin", 4);
  ToolProcess& tool = Start({"-debug", "first.bin"}, {}, ToolStreams::InputFromNull);
  ASSERT_TRUE(tool.WaitForOutput("Image 1: 4 bytes"));
  kill(tool.Pid(), SIGINT);
  EXPECT_EQ(tool.Finish(), 130);
  EXPECT_EQ(tool.Board().disconnects, 1u);
}

TEST_F(ToolProcessTest, ClosedOutputEndsTheRunCleanly) {
  ToolProcess& tool = Start({"-debug"}, {}, ToolStreams::OutputToClosedPipe);
  EXPECT_EQ(tool.Finish(), 141);
  EXPECT_EQ(tool.Board().disconnects, 1u) << "the goodbye still went out";
}

// The product executable itself, without the board log.
TEST_F(ToolProcessTest, VirtualCommandRunsTheWholeFlow) {
  MakeImage("sample.bin", 600);
  ToolProcess& tool = Start({"-debug", "sample.bin"}, {}, ToolStreams::Terminal, KAVLO_VIRTUAL_TOOL);
  ASSERT_TRUE(tool.WaitForOutput("Booting 1 image\nImage 1: 600 bytes"));
  ASSERT_TRUE(tool.WaitForKeyMode(true));
  tool.Type("hi\r");
  ASSERT_TRUE(tool.WaitForOutput("hi\n"));
  tool.Type(kEscape);
  EXPECT_EQ(tool.Finish(), 0);
  EXPECT_NE(tool.Output().find(kListening), std::string::npos);
  EXPECT_TRUE(tool.Output().size() > kUserExit.size() &&
              tool.Output().compare(tool.Output().size() - kUserExit.size(), kUserExit.size(), kUserExit) == 0);
}

}  // namespace
