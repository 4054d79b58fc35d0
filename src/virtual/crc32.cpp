#include "virtual/crc32.h"

namespace {
constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr uint32_t kInitial = 0xFFFFFFFFu;
constexpr uint32_t kFinalMask = 0xFFFFFFFFu;
constexpr int kBitsPerByte = 8;
}  // namespace

// Bitwise: the board model checks at most a few images per boot.
uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = kInitial;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < kBitsPerByte; ++bit) {
      crc = (crc & 1u) != 0 ? (crc >> 1) ^ kPolynomial : crc >> 1;
    }
  }
  return crc ^ kFinalMask;
}
