// The Windows console keyboard: the codes _kbhit and _getch deliver for the
// keys a user types, and what the listening loop makes of them. Needs a
// console; scripts/test-windows.sh runs the tests under a pseudo-terminal,
// which wine turns into one.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "console_keys.h"
#include "platform/console.h"
#include "platform/stop_request.h"
#include "tool/key_mapper.h"

namespace {

using Codes = std::vector<int>;

// A bound that only catches a hang.
constexpr uint32_t kHangLimitMs = 10000;

class ConsoleWindowsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!keys.Available()) GTEST_SKIP() << "no console: run under a terminal (scripts/test-windows.sh does)";
    keys.Clear();
    // A stop requested by an earlier test would end every wait at once; a
    // new watch starts clear.
    StopWatch clear;
  }

  // Every code that can be read now.
  Codes ReadAll() {
    Codes codes;
    while (console.KeyWaiting()) codes.push_back(console.ReadKey());
    return codes;
  }

  ConsoleKeys keys;
  Console console;
};

// Each key is followed by a "z": a key without a character alone does not
// make wine's _kbhit answer, Windows' does; behind the "z" both read it.
TEST_F(ConsoleWindowsTest, KeysArriveAsConsoleCodes) {
  struct Row {
    const char* key;
    WORD virtualKey;
    char character;
    DWORD modifiers;
    Codes codes;
    KeyTreatment treatment;  // of the first code
  };
  const Row rows[] = {
      {"a", 'A', 'a', 0, {0x61}, KeyTreatment::Forward},
      {"shift+A", 'A', 'A', SHIFT_PRESSED, {0x41}, KeyTreatment::Forward},
      {"Enter", VK_RETURN, '\r', 0, {13}, KeyTreatment::Forward},
      {"Backspace", VK_BACK, '\b', 0, {8}, KeyTreatment::Forward},
      {"Tab", VK_TAB, '\t', 0, {9}, KeyTreatment::Forward},
      {"Escape", VK_ESCAPE, 27, 0, {27}, KeyTreatment::EndRun},
      {"left arrow", VK_LEFT, 0, ENHANCED_KEY, {0xE0, 0x4B}, KeyTreatment::SkipExtendedKey},
      {"Delete", VK_DELETE, 0, ENHANCED_KEY, {0xE0, 0x53}, KeyTreatment::SkipExtendedKey},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    keys.Type(row.virtualKey, row.character, row.modifiers);
    keys.TypeText("z");
    Codes expected = row.codes;
    expected.push_back('z');
    const Codes codes = ReadAll();
    EXPECT_EQ(codes, expected);
    if (!codes.empty()) {
      EXPECT_EQ(MapConsoleKey(static_cast<uint8_t>(codes[0])).treatment, row.treatment);
    }
  }
}

TEST_F(ConsoleWindowsTest, TypedTextWaitsInOrderAndNothingElse) {
  EXPECT_FALSE(console.KeyWaiting());
  keys.TypeText("ab~");
  keys.Type(VK_SHIFT, 0);  // a key without a character gives nothing
  keys.Type(VK_RETURN, '\r');
  EXPECT_EQ(ReadAll(), (Codes{'a', 'b', '~', 13}));
  EXPECT_FALSE(console.KeyWaiting());
  EXPECT_FALSE(console.InputEnded()) << "a console keyboard never ends";
}

TEST_F(ConsoleWindowsTest, WaitForKeyEndsWithTheKeyOrTheLimit) {
  EXPECT_FALSE(console.WaitForKey(30));

  std::thread typist([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    keys.TypeText("x");
  });
  EXPECT_TRUE(console.WaitForKey(kHangLimitMs));
  typist.join();
  EXPECT_EQ(ReadAll(), Codes{'x'});
}

// Switches the console's input processing off for the life of the object,
// as _getch does while it reads.
class InputProcessingOff {
 public:
  InputProcessingOff()
      : input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr)) {
    GetConsoleMode(input, &saved);
    SetConsoleMode(input, saved & ~ENABLE_PROCESSED_INPUT);
  }
  ~InputProcessingOff() {
    SetConsoleMode(input, saved);
    CloseHandle(input);
  }
  InputProcessingOff(const InputProcessingOff&) = delete;
  InputProcessingOff& operator=(const InputProcessingOff&) = delete;

 private:
  HANDLE input;
  DWORD saved = 0;
};

// _getch reads with the console's input processing off, so a Ctrl-C typed
// during a read comes as the key 3; it stops the run like the control event
// that it gives between reads (stop_request_windows_test.cpp).
TEST_F(ConsoleWindowsTest, CtrlCReadAsKeyStopsTheRun) {
  InputProcessingOff processingOff;
  StopWatch watch;
  keys.Type('C', 3, LEFT_CTRL_PRESSED);
  ASSERT_TRUE(console.WaitForKey(kHangLimitMs));
  EXPECT_EQ(console.ReadKey(), 3);
  EXPECT_EQ(MapConsoleKey(3).treatment, KeyTreatment::Drop);
  EXPECT_TRUE(StopRequested());
  EXPECT_EQ(StopExitCode(), 130);
  EXPECT_FALSE(console.WaitForKey(kHangLimitMs)) << "a wait ends at once once the stop is requested";
}

}  // namespace
