#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// A stand-in for the hidapi library: it lists scripted nodes, opens the ones
// marked openable, answers writes and reads from a script, and records every
// call in order, so tests see exactly what the layer asked of the library.
struct FakeNode {
  std::string path;
  uint16_t vendorId;
  uint16_t productId;
  uint16_t usagePage;
  uint16_t usage;
  bool openable = true;
};

// One scripted answer of hid_read_timeout: its result and, for a result
// above 0, the bytes copied.
struct FakeRead {
  int result;
  std::vector<uint8_t> bytes;
};

struct FakeHidapi {
  // Script.
  std::vector<FakeNode> nodes;
  // Result of hid_write; kWriteAll returns the length it was given.
  static constexpr int kWriteAll = -1000;
  int writeResult = kWriteAll;
  std::deque<FakeRead> reads;  // empty: hid_read_timeout returns 0

  // Record.
  std::vector<std::string> calls;  // e.g. "hid_open_path b", "hid_exit"
  std::vector<std::vector<uint8_t>> writes;
  std::vector<int> readLengths;
  std::vector<int> readLimits;
  int liveLists = 0;    // enumerations not yet freed
  int openDevices = 0;  // devices not yet closed
};

// The one fake of the process; Reset gives it a fresh script and record.
FakeHidapi& Fake();
void ResetFake();
