#include "hid/hidapi_layer.h"

#include <hidapi.h>

#include <cstring>

namespace {

// Report ID of every report: the device does not number its reports.
constexpr uint8_t kReportId = 0;
// An output report: the report ID, then the packet.
constexpr size_t kOutputReportSize = 1 + kPacketSize;
// hid_read_timeout's limit that makes it return at once.
constexpr int kNoWait = 0;

// Live layers in the process. Only the main thread constructs and destroys
// layers, so the count needs no protection.
int32_t instanceCount = 0;

bool Matches(const hid_device_info& node, const DeviceMatch& match) {
  return node.vendor_id == match.vendor_id && node.product_id == match.product_id &&
         node.usage_page == match.usage_page && node.usage == match.usage;
}

}  // namespace

// The first live layer starts the library. Its result is not examined: a
// library that cannot start lists no device, which Open reports.
HIDAPILayer::HIDAPILayer() {
  if (instanceCount++ == 0) hid_init();
}

// The device is closed here and nowhere else; the last live layer ends the
// library.
HIDAPILayer::~HIDAPILayer() {
  if (device != nullptr) {
    hid_close(device);
    device = nullptr;
  }
  if (--instanceCount == 0) hid_exit();
}

// The enumeration is asked for vendor and product only; the usage page and
// usage, which tell the link's interface from the device's other HID
// interfaces, are compared here, and vendor and product once more. A device
// still open from an earlier Open is closed first, so its handle is never
// lost.
bool HIDAPILayer::Open(const DeviceMatch& match) {
  if (device != nullptr) {
    hid_close(device);
    device = nullptr;
  }
  hid_device_info* list = hid_enumerate(match.vendor_id, match.product_id);
  if (list == nullptr) return false;

  bool listed = false;
  for (const hid_device_info* node = list; node != nullptr; node = node->next) {
    if (Matches(*node, match)) {
      device = hid_open_path(node->path);
      listed = true;
      break;
    }
  }
  hid_free_enumeration(list);
  return listed;
}

// A report that was not written whole is a failure, never "try again".
int32_t HIDAPILayer::Write(const uint8_t* packet) {
  if (device == nullptr) return -1;
  uint8_t report[kOutputReportSize];
  report[0] = kReportId;
  std::memcpy(report + 1, packet, kPacketSize);
  const int written = hid_write(device, report, kOutputReportSize);
  return written == static_cast<int>(kOutputReportSize) ? kPacketSize : -1;
}

// The library's result passes through unchanged; a short report is left to
// the link to treat as a failure.
int32_t HIDAPILayer::Read(uint8_t* buffer) {
  if (device == nullptr) return -1;
  return hid_read_timeout(device, buffer, kPacketSize, kNoWait);
}
