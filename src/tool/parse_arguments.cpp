#include "tool/parse_arguments.h"

#include "platform/option_syntax.h"
#include "tool/tool_output.h"

namespace {

constexpr const char* kDebugOption = "debug";

}  // namespace

bool ParseArguments(int argc, char** argv, FrontEndState& state) {
  for (int index = 1; index < argc; ++index) {
    const char* argument = argv[index];
    if (IsOptionArgument(argument, kDebugOption)) {
      if (!EqualsIgnoringAsciiCase(argument + 1, kDebugOption)) {
        Print("Invalid option: '%s'\n", argument);
        return false;
      }
      state.debugOutputEnabled = true;
      state.keyboardEnabled = true;
      continue;
    }
    if (state.imageFileCount == kMaxImageFiles) {
      Print("Too many files specified, maximum is 2.\n");
      return false;
    }
    state.imageFiles[state.imageFileCount++] = argument;
  }
  if (state.imageFileCount == 0 && !state.debugOutputEnabled && !state.keyboardEnabled) {
    Print("kavlo-usb - Uploads binary images to Tarvex Bootloader.\n");
    Print("Usage: kavlo-usb.exe <options> file1.bin [file2.bin]\n");
    Print("Options: -debug    Print debug output to console until escape pressed.\n");
    return false;
  }
  return true;
}
