#pragma once

#include <cstdint>

#include "hid/device_match.h"

// Every constant of the command protocol spoken with the interface over the
// link: command codes, answer tags, status, debug modes, the records carried
// in data blocks, the client's time limits and the interface's USB
// identities. Multi-byte numbers of the command layer are little-endian; the
// size inside an image record is the one big-endian field.

// Command codes, host to interface; the first byte of every command.
constexpr uint8_t kCommandGetVersion = 0x01;
constexpr uint8_t kCommandSendBlock = 0x02;
constexpr uint8_t kCommandReadDebug = 0x03;
constexpr uint8_t kCommandSetDebugMode = 0x04;
constexpr uint8_t kCommandDisconnect = 0xFF;

// Answer tags, interface to host; the first byte of a longer answer.
constexpr uint8_t kAnswerVersionReply = 0x02;  // major, minor, nameLength, name
constexpr uint8_t kAnswerBlockReady = 0x03;    // nothing follows
constexpr uint8_t kAnswerDebugTimeout = 0x04;  // length (2), always 0
constexpr uint8_t kAnswerDebugData = 0x05;     // length (2), then the data

// The one-byte answer to a block payload, SetDebugMode and Disconnect. Every
// other value is a failure with no further meaning.
constexpr uint8_t kStatusOk = 0x00;

// Sizes of the fixed parts of messages.
constexpr uint32_t kSendBlockHeaderSize = 3;  // code, length low, length high
constexpr uint32_t kVersionHeadSize = 3;      // major, minor, nameLength (after the tag)
constexpr uint32_t kReadDebugSize = 3;        // code, maximum low, maximum high
constexpr uint32_t kDebugHeadSize = 3;        // tag, length low, length high
constexpr uint32_t kSetDebugModeSize = 2;     // code, mode

// The firmware name: at most 63 bytes, so that it fits a 64-byte buffer with
// its terminating zero.
constexpr uint32_t kVersionNameBufferSize = 64;
constexpr uint32_t kMaxVersionNameLength = kVersionNameBufferSize - 1;

// The host always asks for at most this many debug output bytes, and accepts
// no DebugData longer than it.
constexpr uint16_t kDebugOutputMaximum = 256;

// The mode byte of SetDebugMode; bit 7 says that images were uploaded over
// this link and a reboot record follows.
constexpr uint8_t kDebugModeOutput = 0x01;
constexpr uint8_t kDebugModeImagesUploaded = 0x80;

// Kinds of block payload, told apart by their first byte.
constexpr uint8_t kRecordReboot = 0x01;      // the reboot record: this byte alone
constexpr uint8_t kRecordFirstImage = 0x03;  // image record for the first image file
constexpr uint8_t kRecordNextImage = 0x04;   // image record for the second image file

// Image record: kind, size (2, big-endian), the image bytes.
constexpr uint32_t kImageRecordHeaderSize = 3;
constexpr uint32_t kMaxImageSize = 32768;
constexpr uint32_t kRebootRecordSize = 1;

// Key block: 1 to 16 key codes, each backspace, tab, Enter (as line feed) or
// a code from 0x20 to 0x7F.
constexpr uint32_t kMaxKeyBlockLength = 16;
constexpr uint8_t kKeyBackspace = 0x08;
constexpr uint8_t kKeyTab = 0x09;
constexpr uint8_t kKeyEnter = 0x0A;
constexpr uint8_t kKeyPrintableFirst = 0x20;
constexpr uint8_t kKeyPrintableLast = 0x7F;

// Time limits in milliseconds. A client limit is an idle limit per step: a
// step fails only when that long passes without a byte moving.
constexpr int32_t kDisconnectLimitMs = 1000;
constexpr int32_t kGetVersionLimitMs = 10000;
constexpr int32_t kSetDebugModeLimitMs = 10000;
constexpr int32_t kReadDebugLimitMs = 1000;
constexpr int32_t kImageBlockLimitMs = 10000;  // image records and the reboot record
constexpr int32_t kKeyBlockLimitMs = 200;

// SendBlock prints transfer statistics for blocks of at least this length.
constexpr uint32_t kStatisticsMinimumLength = 256;

// The interface's USB identities, in the order they are tried.
constexpr DeviceMatch kInterfaceIdentities[] = {
    {0x16D0, 0x0F12, 0xFFAB, 0x0200},
    {0x16C0, 0x0486, 0xFFAB, 0x0200},
};
