#include "tool/upload_image.h"

#include <vector>

#include "client/command_protocol.h"
#include "client/interface_client.h"
#include "tool/load_image.h"
#include "tool/tool_output.h"

namespace {

constexpr unsigned kByteShift = 8;
constexpr unsigned kByteMask = 0xFF;

}  // namespace

bool UploadImage(InterfaceClient& client, const char* path, uint8_t kind) {
  std::vector<uint8_t> record(kImageRecordHeaderSize + kImageLoadCapacity);
  uint32_t size = 0;
  switch (LoadImageFile(path, record.data() + kImageRecordHeaderSize, size)) {
    case ImageLoadResult::Loaded:
      break;
    case ImageLoadResult::CannotOpen:
      Print("Can't open '%s', aborting!\n", path);
      return false;
    case ImageLoadResult::TooLarge:
      Print("Image file can't be larger than 32KB!\n");
      return false;
  }

  Print("Uploading '%s' (%u byte%s)...", path, static_cast<unsigned>(size), size == 1 ? "" : "s");
  // The image size travels high byte first.
  record[0] = kind;
  record[1] = static_cast<uint8_t>((size >> kByteShift) & kByteMask);
  record[2] = static_cast<uint8_t>(size & kByteMask);
  const bool accepted =
      client.SendBlock(record.data(), static_cast<uint16_t>(kImageRecordHeaderSize + size), kImageBlockLimitMs);
  Print("\n");
  if (!accepted) Print("Unable to upload, aborting.\n");
  return accepted;
}
