#include "tool/load_image.h"

#include "client/command_protocol.h"
#include "platform/input_file.h"

static_assert(kImageLoadCapacity == kMaxImageSize + 1, "room for one byte past the largest image");

// The size the file system gives decides "too large" before anything is
// read, whatever it is (also above 2 GiB). The bytes are then read in a loop
// until the file ends, never beyond the capacity, and what was read must be
// exactly that size: a file that shrank or grew meanwhile is refused rather
// than sent as a record whose header and content disagree.
ImageLoadResult LoadImageFile(const char* path, uint8_t* content, uint32_t& size) {
  size = 0;
  InputFile file;
  if (!file.Open(path)) return ImageLoadResult::CannotOpen;
  const int64_t announced = file.Size();
  if (announced < 0) return ImageLoadResult::CannotOpen;
  if (announced > static_cast<int64_t>(kMaxImageSize)) return ImageLoadResult::TooLarge;

  uint32_t total = 0;
  while (total < kImageLoadCapacity) {
    const int32_t got = file.Read(content + total, kImageLoadCapacity - total);
    if (got < 0) return ImageLoadResult::CannotOpen;
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
  }
  if (total > kMaxImageSize) return ImageLoadResult::TooLarge;
  if (total != static_cast<uint64_t>(announced)) return ImageLoadResult::CannotOpen;
  size = total;
  return ImageLoadResult::Loaded;
}
