#pragma once

#include <cstdint>

#include "platform/console.h"

// How long a terminal takes at most between the bytes of one key's escape
// sequence. An Escape byte followed by nothing for this long was the Escape
// key itself.
constexpr uint32_t kLoneEscapeDelayMs = 30;

// Turns the bytes a terminal sends into console key codes (console.h).
//
//   Escape alone (Flush after the delay)  27
//   ESC [ ... final, ESC O x              prefix 0xE0, then the final byte
//   ESC x (Alt+key), ESC ESC ...          prefix 0, then x
//   NUL                                   prefix 0, then 0
//   a UTF-8 character (or a stray byte    prefix 0xE0, then its last byte
//     of 0x80 and above)
//   CR, LF, and CR LF together            13
//   DEL, Ctrl-H, the terminal's erase key 8
//   any other byte                        itself
//
// Codes come out whole: a prefix and its second code are queued together,
// and a sequence that is still arriving yields nothing until it is complete
// or Flush ends it. Pure bookkeeping, no I/O: the console feeds the bytes and
// says when the input went quiet.
class TerminalKeyDecoder {
 public:
  // `eraseByte` is the terminal's erase character (DEL on most terminals).
  explicit TerminalKeyDecoder(uint8_t eraseByte = 0x7F);

  void Feed(uint8_t byte);
  // The input went quiet for kLoneEscapeDelayMs, or ended: whatever sequence
  // is unfinished is complete now (a lone Escape becomes 27).
  void Flush();
  // True while an unfinished sequence waits for more bytes or for Flush.
  bool Pending() const { return state != State::Ground; }

  bool HasCode() const { return count != 0; }
  // The oldest queued code; only while HasCode.
  uint8_t TakeCode();

 private:
  enum class State {
    Ground,      // between keys
    Escape,      // after ESC
    MetaEscape,  // after ESC ESC: Alt with a key that sends a sequence
    Csi,         // inside ESC [ ... or ESC ESC [ ...
    Ss3,         // after ESC O
    Utf8,        // inside a multi-byte character
  };

  void FeedGround(uint8_t byte);
  void Push(uint8_t code);
  void PushPair(uint8_t prefix, uint8_t second);

  // At most four codes come from one byte (a broken sequence's pair and the
  // byte's own pair); the console takes codes out before feeding more than
  // a few dozen bytes.
  static constexpr uint32_t kQueueSize = 512;

  uint8_t erase;
  State state = State::Ground;
  uint32_t utf8Remaining = 0;
  bool lastWasCarriageReturn = false;
  uint8_t queue[kQueueSize];
  uint32_t head = 0;
  uint32_t count = 0;
};
