#pragma once

#include <windows.h>

#include <cstdint>

// This process's console keyboard, for tests that type at it: keys are
// written into the console's input as a keyboard would place them there.
class ConsoleKeys {
 public:
  ConsoleKeys();
  ~ConsoleKeys();
  ConsoleKeys(const ConsoleKeys&) = delete;
  ConsoleKeys& operator=(const ConsoleKeys&) = delete;

  // False when the process has no console (then nothing can be typed).
  bool Available() const { return input != INVALID_HANDLE_VALUE; }
  // Drops every key not read yet.
  void Clear();
  // One key press and release: its virtual key, the character it gives (0
  // for none) and the state of the modifier keys (ENHANCED_KEY for the
  // cursor block, LEFT_CTRL_PRESSED, ...).
  void Type(WORD virtualKey, char character, DWORD modifiers = 0);
  void TypeText(const char* text);

 private:
  HANDLE input = INVALID_HANDLE_VALUE;
};
