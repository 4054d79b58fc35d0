#pragma once

#include <cstdint>

// Most image files one run uploads.
constexpr uint32_t kMaxImageFiles = 2;

// What the command line asked for. The listening loop clears
// `debugOutputEnabled` when the interface reports that its download of the
// board's output timed out; nothing clears `keyboardEnabled`.
struct FrontEndState {
  const char* imageFiles[kMaxImageFiles] = {nullptr, nullptr};  // as given, in order
  uint32_t imageFileCount = 0;
  bool debugOutputEnabled = false;
  bool keyboardEnabled = false;
};
