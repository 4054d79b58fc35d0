#include "platform/terminal_key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct DecodeCase {
  const char* what;
  std::string bytes;
  std::vector<int> beforeQuiet;  // codes ready before the input goes quiet
  std::vector<int> afterQuiet;   // codes added by Flush
};

using Bytes = std::string;

// Prefix pairs are written as {0, x} or {0xE0, x}.
const DecodeCase kCases[] = {
    {"printable keys", "ab~", {'a', 'b', '~'}, {}},
    {"lone Escape needs the quiet time", "\x1b", {}, {27}},
    {"keys then a lone Escape", "ab\x1b", {'a', 'b'}, {27}},
    {"Enter as LF", "\n", {13}, {}},
    {"Enter as CR", "\r", {13}, {}},
    {"CR LF is one Enter", "\r\n", {13}, {}},
    {"LF LF is two", "\n\n", {13, 13}, {}},
    {"DEL is backspace", "\x7f", {8}, {}},
    {"Ctrl-H is backspace", "\x08", {8}, {}},
    {"tab and control codes stay", "\t\x03\x1f", {9, 3, 31}, {}},
    {"NUL is a pair", Bytes("\0x", 2), {0, 0, 'x'}, {}},
    {"arrow up (CSI)", "\x1b[A", {0xE0, 'A'}, {}},
    {"Delete (CSI with parameter)", "\x1b[3~", {0xE0, '~'}, {}},
    {"Ctrl+Right (CSI with parameters)", "\x1b[1;5C", {0xE0, 'C'}, {}},
    {"F1 (SS3)", "\x1bOP", {0xE0, 'P'}, {}},
    {"Alt+a", "\x1b" "a", {0, 'a'}, {}},
    {"Alt+[ alone waits for quiet", "\x1b[", {}, {0xE0, '['}},
    {"Alt+Escape", "\x1b\x1b", {}, {0, 27}},
    {"Alt+arrow (ESC ESC CSI)", "\x1b\x1b[A", {0xE0, 'A'}, {}},
    {"three Escapes: Alt+Escape, then Escape", "\x1b\x1b\x1b", {0, 27}, {27}},
    {"escape sequence then a key", "\x1b[Bx", {0xE0, 'B', 'x'}, {}},
    {"broken sequence keeps the next key", "\x1b[1\x7f", {0xE0, '[', 8}, {}},
    {"two-byte UTF-8 is one pair", "\xc3\xa9z", {0xE0, 0xA9, 'z'}, {}},
    {"three-byte UTF-8", "\xe2\x82\xac", {0xE0, 0xAC}, {}},
    {"four-byte UTF-8", "\xf0\x9f\x98\x80", {0xE0, 0x80}, {}},
    {"UTF-8 cut short keeps the next key", "\xe2\x82q", {0xE0, 0x80, 'q'}, {}},
    {"UTF-8 lead alone waits for quiet", "\xc3", {}, {0xE0, 0x80}},
    {"stray continuation byte", "\xa9q", {0xE0, 0xA9, 'q'}, {}},
    {"0xE0 as a Latin-1 byte never stands alone", "\xe0z", {0xE0, 0x80, 'z'}, {}},
    {"Alt with a UTF-8 character", "\x1b\xc3\xa9", {0, 27, 0xE0, 0xA9}, {}},
};

std::vector<int> TakeAll(TerminalKeyDecoder& decoder) {
  std::vector<int> codes;
  while (decoder.HasCode()) codes.push_back(decoder.TakeCode());
  return codes;
}

TEST(TerminalKeyDecoder, TableOfInputs) {
  for (const DecodeCase& row : kCases) {
    SCOPED_TRACE(row.what);
    TerminalKeyDecoder decoder;
    for (const char byte : row.bytes) decoder.Feed(static_cast<uint8_t>(byte));
    EXPECT_EQ(TakeAll(decoder), row.beforeQuiet);
    EXPECT_EQ(decoder.Pending(), !row.afterQuiet.empty());
    decoder.Flush();
    EXPECT_EQ(TakeAll(decoder), row.afterQuiet);
    EXPECT_FALSE(decoder.Pending());
  }
}

TEST(TerminalKeyDecoder, TerminalEraseKeyIsBackspace) {
  TerminalKeyDecoder decoder(0x15);  // a terminal whose erase key sends Ctrl-U
  for (const uint8_t byte : {0x15, 0x7F, 0x08}) decoder.Feed(byte);
  EXPECT_EQ(TakeAll(decoder), (std::vector<int>{8, 8, 8}));
}

// Whatever arrives, a prefix is never the last code queued: the reader that
// takes a prefix always finds its second code.
TEST(TerminalKeyDecoder, PrefixNeverWithoutSecondCode) {
  uint32_t state = 12345;
  TerminalKeyDecoder decoder;
  for (int round = 0; round < 20000; ++round) {
    state = state * 1103515245u + 12345u;
    const uint8_t byte = static_cast<uint8_t>(state >> 16);
    decoder.Feed(byte == 'q' ? 0x1B : byte);
    if ((state >> 8) % 7 == 0) decoder.Flush();
    bool second = false;
    while (decoder.HasCode()) {
      const uint8_t code = decoder.TakeCode();
      if (second) {
        second = false;
      } else if (code == 0 || code == 0xE0) {
        ASSERT_TRUE(decoder.HasCode()) << "prefix without its second code";
        second = true;
      }
    }
  }
}

}  // namespace
