#pragma once

#include <cstdint>

// What the listening loop does with one console key code.
enum class KeyTreatment {
  EndRun,           // Escape: the user leaves
  SkipExtendedKey,  // a prefix: the next code belongs to it and is dropped unseen
  Forward,          // goes to the board in the next key block, as `blockCode`
  Drop,             // not a key the board takes
};

struct KeyAction {
  KeyTreatment treatment;
  uint8_t blockCode;  // only for Forward
};

// Maps a console key code onto its treatment: Escape ends the run, 0 and
// 0xE0 begin an extended key, backspace, tab, Enter (as a line feed) and the
// codes 32 to 127 are forwarded, all others dropped.
KeyAction MapConsoleKey(uint8_t code);
