#include "platform/terminal_key_decoder.h"

namespace {

constexpr uint8_t kNul = 0x00;
constexpr uint8_t kCtrlH = 0x08;
constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kCarriageReturn = 0x0D;
constexpr uint8_t kEscapeByte = 0x1B;
constexpr uint8_t kDelete = 0x7F;
constexpr uint8_t kCsiIntroducer = '[';
constexpr uint8_t kSs3Introducer = 'O';

// Bytes of a control sequence: parameters and intermediates continue it, a
// final byte ends it.
constexpr uint8_t kCsiContinueFirst = 0x20;
constexpr uint8_t kCsiContinueLast = 0x3F;
constexpr uint8_t kCsiFinalFirst = 0x40;
constexpr uint8_t kCsiFinalLast = 0x7E;

constexpr uint8_t kFirstNonAscii = 0x80;
constexpr uint8_t kUtf8ContinuationLast = 0xBF;

// Continuation bytes that follow a UTF-8 lead byte; 0 for a byte that cannot
// begin a character.
uint32_t Utf8ContinuationCount(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

bool IsUtf8Continuation(uint8_t byte) { return byte >= kFirstNonAscii && byte <= kUtf8ContinuationLast; }

}  // namespace

TerminalKeyDecoder::TerminalKeyDecoder(uint8_t eraseByte) : erase(eraseByte) {}

void TerminalKeyDecoder::Push(uint8_t code) {
  if (count == kQueueSize) return;  // the console never lets it fill
  queue[(head + count) % kQueueSize] = code;
  ++count;
}

// A pair goes in whole or not at all, so no reader can see a lone prefix.
void TerminalKeyDecoder::PushPair(uint8_t prefix, uint8_t second) {
  if (count + 2 > kQueueSize) return;
  Push(prefix);
  Push(second);
}

uint8_t TerminalKeyDecoder::TakeCode() {
  if (count == 0) return kNul;
  const uint8_t code = queue[head];
  head = (head + 1) % kQueueSize;
  --count;
  return code;
}

void TerminalKeyDecoder::FeedGround(uint8_t byte) {
  const bool afterCarriageReturn = lastWasCarriageReturn;
  lastWasCarriageReturn = false;
  if (byte == kEscapeByte) {
    state = State::Escape;
  } else if (byte == kNul) {
    PushPair(kConsoleKeyPrefix, kNul);
  } else if (byte == kCarriageReturn) {
    lastWasCarriageReturn = true;
    Push(kConsoleKeyEnter);
  } else if (byte == kLineFeed) {
    if (!afterCarriageReturn) Push(kConsoleKeyEnter);
  } else if (byte == kDelete || byte == kCtrlH || byte == erase) {
    Push(kConsoleKeyBackspace);
  } else if (byte >= kFirstNonAscii) {
    utf8Remaining = Utf8ContinuationCount(byte);
    if (utf8Remaining == 0) {
      PushPair(kConsoleKeyExtendedPrefix, byte);
    } else {
      state = State::Utf8;
    }
  } else {
    Push(byte);
  }
}

void TerminalKeyDecoder::Feed(uint8_t byte) {
  switch (state) {
    case State::Ground:
      FeedGround(byte);
      return;
    case State::Escape:
    case State::MetaEscape:
      if (byte == kCsiIntroducer) {
        state = State::Csi;
      } else if (byte == kSs3Introducer) {
        state = State::Ss3;
      } else if (byte == kEscapeByte) {
        // ESC ESC starts an Alt sequence; a third ESC starts afresh.
        if (state == State::MetaEscape) PushPair(kConsoleKeyPrefix, kEscapeByte);
        state = state == State::Escape ? State::MetaEscape : State::Escape;
      } else if (byte < kFirstNonAscii) {
        PushPair(kConsoleKeyPrefix, byte);  // Alt+key
        state = State::Ground;
      } else {
        PushPair(kConsoleKeyPrefix, kEscapeByte);
        state = State::Ground;
        FeedGround(byte);
      }
      return;
    case State::Csi:
      if (byte >= kCsiContinueFirst && byte <= kCsiContinueLast) return;
      state = State::Ground;
      if (byte >= kCsiFinalFirst && byte <= kCsiFinalLast) {
        PushPair(kConsoleKeyExtendedPrefix, byte);
      } else {
        PushPair(kConsoleKeyExtendedPrefix, kCsiIntroducer);
        FeedGround(byte);
      }
      return;
    case State::Ss3:
      state = State::Ground;
      if (byte >= kCsiContinueFirst && byte <= kCsiFinalLast) {
        PushPair(kConsoleKeyExtendedPrefix, byte);
      } else {
        PushPair(kConsoleKeyExtendedPrefix, kSs3Introducer);
        FeedGround(byte);
      }
      return;
    case State::Utf8:
      if (IsUtf8Continuation(byte)) {
        if (--utf8Remaining == 0) {
          PushPair(kConsoleKeyExtendedPrefix, byte);
          state = State::Ground;
        }
      } else {
        // A character cut short still counts as one key; the byte that cut
        // it begins the next.
        PushPair(kConsoleKeyExtendedPrefix, kFirstNonAscii);
        state = State::Ground;
        FeedGround(byte);
      }
      return;
  }
}

void TerminalKeyDecoder::Flush() {
  switch (state) {
    case State::Ground:
      return;
    case State::Escape:
      Push(kConsoleKeyEscape);
      break;
    case State::MetaEscape:
      PushPair(kConsoleKeyPrefix, kEscapeByte);
      break;
    case State::Csi:
      PushPair(kConsoleKeyExtendedPrefix, kCsiIntroducer);
      break;
    case State::Ss3:
      PushPair(kConsoleKeyExtendedPrefix, kSs3Introducer);
      break;
    case State::Utf8:
      PushPair(kConsoleKeyExtendedPrefix, kFirstNonAscii);
      break;
  }
  state = State::Ground;
}
