#include "console_keys.h"

ConsoleKeys::ConsoleKeys() {
  input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, 0, nullptr);
  DWORD mode = 0;
  if (input != INVALID_HANDLE_VALUE && !GetConsoleMode(input, &mode)) {
    CloseHandle(input);
    input = INVALID_HANDLE_VALUE;
  }
}

ConsoleKeys::~ConsoleKeys() {
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
}

void ConsoleKeys::Clear() { FlushConsoleInputBuffer(input); }

void ConsoleKeys::Type(WORD virtualKey, char character, DWORD modifiers) {
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
    records[i].EventType = KEY_EVENT;
    key.bKeyDown = i == 0;
    key.wRepeatCount = 1;
    key.wVirtualKeyCode = virtualKey;
    key.wVirtualScanCode = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    key.uChar.AsciiChar = character;
    key.dwControlKeyState = modifiers;
  }
  DWORD written = 0;
  WriteConsoleInputA(input, records, 2, &written);
}

void ConsoleKeys::TypeText(const char* text) {
  for (; *text != '\0'; ++text) {
    const SHORT key = VkKeyScanA(*text);
    Type(static_cast<WORD>(key & 0xFF), *text, (key & 0x100) != 0 ? SHIFT_PRESSED : 0);
  }
}

namespace {

BOOL WINAPI SwallowControlEvent(DWORD) { return TRUE; }

// Tests cause console control events (Ctrl-C), which reach this program too
// and may arrive after the test that caused them is over. Registered before
// any other handler, this one is asked last: every StopWatch's handler still
// comes first, and nothing ends the test program.
const bool kControlEventsSwallowed = SetConsoleCtrlHandler(SwallowControlEvent, TRUE) != 0;

}  // namespace
