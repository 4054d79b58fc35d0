#include <conio.h>
#include <windows.h>

#include <csignal>

#include "platform/console.h"
#include "platform/stop_request.h"
#include "platform/stop_wake_windows.h"

namespace {

// The code _getch gives for Ctrl-C. It reads with the console's input
// processing switched off, so a Ctrl-C typed while it reads arrives as this
// key instead of as a control event.
constexpr int kCtrlCCode = 3;

// _kbhit cannot be waited on (the console's input handle is signalled by
// mouse moves and key releases too), so a wait tests it in steps this long.
constexpr uint32_t kKeyPollStepMs = 10;

// True when the process has a console whose keyboard _getch reads: without
// one (a detached process, a service) no key can ever come.
bool HasConsoleKeyboard() {
  const HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  const bool console = GetConsoleMode(input, &mode) != 0;
  CloseHandle(input);
  return console;
}

}  // namespace

// The console keyboard through the C runtime: _getch reads one key without
// echo and already gives the PC console codes, an extended key as 0 or 0xE0
// followed by its second code. Nothing needs switching, so there is nothing
// to undo either.
struct Console::Native {
  bool keyboard = HasConsoleKeyboard();
};

Console::Console() : native_(new Native) {}

Console::~Console() = default;

bool Console::KeyWaiting() { return native_->keyboard && _kbhit() != 0; }

uint8_t Console::ReadKey() {
  const int code = _getch();
  if (code == kCtrlCCode) RequestStop(SIGINT);
  return static_cast<uint8_t>(code);
}

void Console::AwaitInput(uint32_t milliseconds) {
  WaitForSingleObject(StopWakeEvent(), milliseconds < kKeyPollStepMs ? milliseconds : kKeyPollStepMs);
}

bool Console::InputEnded() { return !native_->keyboard; }
