#include "tool/parse_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line_texts.h"

namespace {

struct ParseCase {
  std::vector<const char*> arguments;  // after the program name
  bool goesOn;
  std::string printed;
  std::vector<std::string> files;
  bool debug;
};

// One row per command line: whether the run goes on, what is printed, and
// what the run was asked for.
const ParseCase kCases[] = {
    {{}, false, kUsageText, {}, false},
    {{"-debug"}, true, "", {}, true},
    {{"/debug"}, true, "", {}, true},
    {{"-DEBUG"}, true, "", {}, true},
    {{"/Debug"}, true, "", {}, true},
    {{"-debug", "-Debug"}, true, "", {}, true},
    {{"a.bin"}, true, "", {"a.bin"}, false},
    {{"a.bin", "-debug", "b.bin"}, true, "", {"a.bin", "b.bin"}, true},
    {{""}, true, "", {""}, false},
    {{"--debug"}, false, "Invalid option: '--debug'\n", {}, false},
    {{"-debugx"}, false, "Invalid option: '-debugx'\n", {}, false},
    {{"-"}, false, "Invalid option: '-'\n", {}, false},
    {{"a.bin", "-x", "-debug"}, false, "Invalid option: '-x'\n", {"a.bin"}, false},
    // On POSIX an absolute path is a path; only "/debug" is the option there.
    {{"/tmp/image.bin"}, true, "", {"/tmp/image.bin"}, false},
    {{"/"}, true, "", {"/"}, false},
    {{"/debugx"}, true, "", {"/debugx"}, false},
    {{"/DEBUG", "/srv/a.bin", "/srv/b.bin"}, true, "", {"/srv/a.bin", "/srv/b.bin"}, true},
    {{"a", "b", "c"}, false, kTooManyFilesText, {"a", "b"}, false},
    // The first fault decides: an invalid option after a third file is never seen.
    {{"a", "b", "c", "-bad"}, false, kTooManyFilesText, {"a", "b"}, false},
    {{"-debug", "a", "b", "c"}, false, kTooManyFilesText, {"a", "b"}, true},
};

TEST(ParseArguments, TableOfCommandLines) {
  for (const ParseCase& row : kCases) {
    std::vector<char*> argv{const_cast<char*>("kavlo-usb")};
    for (const char* argument : row.arguments) argv.push_back(const_cast<char*>(argument));
    FrontEndState state;
    testing::internal::CaptureStdout();
    const bool goesOn = ParseArguments(static_cast<int>(argv.size()), argv.data(), state);
    const std::string printed = testing::internal::GetCapturedStdout();

    std::string line;
    for (const char* argument : row.arguments) line += std::string(" '") + argument + "'";
    SCOPED_TRACE("arguments:" + line);
    EXPECT_EQ(goesOn, row.goesOn);
    EXPECT_EQ(printed, row.printed);
    ASSERT_EQ(state.imageFileCount, row.files.size());
    for (size_t i = 0; i < row.files.size(); ++i) EXPECT_EQ(state.imageFiles[i], row.files[i]);
    EXPECT_EQ(state.debugOutputEnabled, row.debug);
    EXPECT_EQ(state.keyboardEnabled, row.debug);
  }
}

}  // namespace
