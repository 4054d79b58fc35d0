#pragma once

#include <cstdint>
#include <memory>

// Console key codes with a meaning of their own.
constexpr uint8_t kConsoleKeyPrefix = 0x00;          // prefix of a key without a character
constexpr uint8_t kConsoleKeyExtendedPrefix = 0xE0;  // prefix of a cursor or function key
constexpr uint8_t kConsoleKeyBackspace = 8;
constexpr uint8_t kConsoleKeyTab = 9;
constexpr uint8_t kConsoleKeyEnter = 13;
constexpr uint8_t kConsoleKeyEscape = 27;

// The console keyboard of the listening loop, delivering PC console key
// codes: a key with a character gives its code (Enter 13, Backspace 8, Tab 9,
// Escape 27, printable keys their ASCII code); a key without one (arrows,
// function keys, Alt+key, any non-ASCII character) gives a prefix code, 0 or
// 0xE0, followed by a second code. The second code of a pair is always ready
// the moment its prefix has been read, so a pair can never block the reader
// nor take the next key with it.
//
// While the object lives, keys are read one by one without echo. Where the
// keyboard is a terminal that needs switching for that (a POSIX tty), the
// switch lasts exactly the object's lifetime and is undone on every way out,
// also around a suspend of the process (undone while stopped, redone when
// continued). Output processing is left as it was.
//
// A port implements this with the system's own console calls; on Windows,
// _kbhit and _getch give these codes directly.
class Console {
 public:
  Console();
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // True when a key has arrived. Never waits.
  bool KeyWaiting();
  // The next code, 0 to 255. Called after KeyWaiting answered true, or right
  // after a prefix code. It waits only where a key's bytes are still
  // arriving, at most the short time a terminal takes between them (the
  // Escape key is told from an escape sequence this way), and never for a
  // second code.
  uint8_t ReadKey();
  // Waits at most `milliseconds` until a code can be read, returning early,
  // false, when a stop of the run was requested (stop_request.h). After the
  // input has ended it still waits (for the stop alone), so a caller that
  // waits between passes never spins. True when a code can be read.
  bool WaitForKey(uint32_t milliseconds);
  // True once the input has ended (a redirected standard input at its end,
  // or a terminal that went away) and every code has been read: no further
  // key will ever come.
  bool InputEnded();

 private:
  // Waits at most `milliseconds` for input to arrive or a stop to be
  // requested, taking in what arrives; it may return early for any reason.
  void AwaitInput(uint32_t milliseconds);

  struct Native;
  std::unique_ptr<Native> native_;
};
