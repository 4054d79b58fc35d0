// Feeds the command-line parser arbitrary argument vectors: the input is
// split at zero bytes into arguments, each copied into a heap buffer of its
// exact length, so that AddressSanitizer catches any read past an argument's
// end. The parser's decision is compared with the rules of the command line:
// "-debug" or "/debug" in any letter case is the one option, any other
// argument beginning with "-" is an invalid option, at most two files are
// named, and a command line naming nothing is refused with the usage text.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "tool/parse_arguments.h"

namespace {

// At most this many arguments after the program name.
constexpr size_t kMaxArguments = 12;

bool SpellsDebug(const char* text) {
  const char* option = "debug";
  for (; *text != '\0' && *option != '\0'; ++text, ++option) {
    if (std::tolower(static_cast<unsigned char>(*text)) != *option) return false;
  }
  return *text == '\0' && *option == '\0';
}

struct Expected {
  bool accepted;
  bool debug;
  std::vector<const char*> files;
};

Expected Decide(const std::vector<char*>& arguments) {
  Expected expected{true, false, {}};
  for (size_t index = 1; index < arguments.size(); ++index) {
    const char* argument = arguments[index];
    const bool slashOption = argument[0] == '/' && SpellsDebug(argument + 1);
    if (argument[0] == '-' || slashOption) {
      if (!SpellsDebug(argument + 1)) return Expected{false, false, {}};
      expected.debug = true;
      continue;
    }
    if (expected.files.size() == kMaxImageFiles) return Expected{false, false, {}};
    expected.files.push_back(argument);
  }
  if (expected.files.empty() && !expected.debug) expected.accepted = false;
  return expected;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The parser prints usage and faults; keep the fuzzer's output readable.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::unique_ptr<char[]>> storage;
  std::vector<char*> arguments;
  auto add = [&](const uint8_t* begin, size_t length) {
    storage.emplace_back(new char[length + 1]);
    std::memcpy(storage.back().get(), begin, length);
    storage.back()[length] = '\0';
    arguments.push_back(storage.back().get());
  };
  static const uint8_t kProgram[] = "kavlo-usb";
  add(kProgram, sizeof kProgram - 1);
  size_t start = 0;
  for (size_t i = 0; i <= size && arguments.size() <= kMaxArguments; ++i) {
    if (i == size || data[i] == 0) {
      if (i == size && start == size && size > 0) break;
      add(data + start, i - start);
      start = i + 1;
    }
  }
  arguments.push_back(nullptr);  // argv[argc] is null, as for main
  const int argc = static_cast<int>(arguments.size() - 1);
  arguments.pop_back();
  std::vector<char*> argv = arguments;
  argv.push_back(nullptr);

  FrontEndState state;
  const bool accepted = ParseArguments(argc, argv.data(), state);
  const Expected expected = Decide(arguments);
  if (accepted != expected.accepted) {
    std::fprintf(stderr, "parser %s a command line the rules %s\n", accepted ? "accepted" : "refused",
                 expected.accepted ? "accept" : "refuse");
    std::abort();
  }
  if (!accepted) return 0;
  bool same = state.imageFileCount == expected.files.size() &&
              state.debugOutputEnabled == expected.debug && state.keyboardEnabled == expected.debug;
  for (uint32_t i = 0; same && i < state.imageFileCount; ++i) same = state.imageFiles[i] == expected.files[i];
  if (!same) {
    std::fprintf(stderr, "parser result differs from the rules of the command line\n");
    std::abort();
  }
  return 0;
}
