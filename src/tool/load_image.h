#pragma once

#include <cstdint>

enum class ImageLoadResult {
  Loaded,
  CannotOpen,  // not an openable regular file, a read failed, or it changed size while read
  TooLarge,    // more than the largest image
};

// Room a caller gives LoadImageFile: one byte more than the largest image,
// so that a file that grew past the limit while it was read is caught.
constexpr uint32_t kImageLoadCapacity = 32768 + 1;

// Reads a whole image file into `content` (kImageLoadCapacity bytes) and
// sets `size`. Loaded guarantees that `size` bytes were read, that they are
// all of the file, and that `size` is at most the largest image; on every
// other result nothing usable is in `content`.
ImageLoadResult LoadImageFile(const char* path, uint8_t* content, uint32_t& size);
