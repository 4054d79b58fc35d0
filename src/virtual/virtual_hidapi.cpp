// The hidapi C functions that the HID packet layer calls, answered by the
// virtual interface instead of a USB device. An executable links this in
// place of the system's hidapi.
#include <hidapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "virtual/virtual_installation.h"

namespace {

constexpr const char* kPathPrefix = "virtual:";
constexpr int kSuccess = 0;
constexpr int kFailed = -1;
// A vendor or product ID of 0 asks for every device.
constexpr unsigned short kAnyId = 0;

VirtualInstallation& Installation() {
  VirtualInstallation& installation = VirtualInstallation::Instance();
  installation.InstallFromEnvironmentOnce();
  return installation;
}

char* CopyText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

// The node index of a path this library listed; false for any other path.
bool IndexOfPath(const char* path, size_t& index) {
  const size_t prefix = std::strlen(kPathPrefix);
  if (path == nullptr || std::strncmp(path, kPathPrefix, prefix) != 0) return false;
  const char* digits = path + prefix;
  if (*digits < '0' || *digits > '9') return false;
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(digits, &end, 10);
  if (*end != '\0') return false;
  index = static_cast<size_t>(parsed);
  return true;
}

}  // namespace

extern "C" {

int hid_init(void) {
  Installation();
  return kSuccess;
}

// Ends every open device's threads; handles stay valid, and fail, until
// hid_close.
int hid_exit(void) {
  VirtualInstallation::Instance().StopAll();
  return kSuccess;
}

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  const std::vector<VirtualNode> nodes = Installation().Nodes();
  hid_device_info* first = nullptr;
  hid_device_info** next = &first;
  for (size_t i = 0; i < nodes.size(); ++i) {
    const DeviceMatch& identity = nodes[i].identity;
    if ((vendor_id != kAnyId && identity.vendor_id != vendor_id) ||
        (product_id != kAnyId && identity.product_id != product_id)) {
      continue;
    }
    auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (info == nullptr) break;
    info->path = CopyText(kPathPrefix + std::to_string(i));
    info->vendor_id = identity.vendor_id;
    info->product_id = identity.product_id;
    info->usage_page = identity.usage_page;
    info->usage = identity.usage;
    info->bus_type = HID_API_BUS_USB;
    *next = info;
    next = &info->next;
  }
  return first;
}

void hid_free_enumeration(hid_device_info* list) {
  while (list != nullptr) {
    hid_device_info* following = list->next;
    std::free(list->path);
    std::free(list);
    list = following;
  }
}

hid_device* hid_open_path(const char* path) {
  size_t index = 0;
  if (!IndexOfPath(path, index)) return nullptr;
  return Installation().Open(index);
}

int hid_write(hid_device* device, const unsigned char* data, size_t length) {
  if (device == nullptr || device->device == nullptr || data == nullptr) return kFailed;
  return device->device->WriteReport(data, length);
}

int hid_read_timeout(hid_device* device, unsigned char* data, size_t length, int milliseconds) {
  if (device == nullptr || device->device == nullptr || data == nullptr) return kFailed;
  return device->device->ReadReport(data, length, milliseconds);
}

int hid_read(hid_device* device, unsigned char* data, size_t length) {
  return hid_read_timeout(device, data, length, -1);
}

void hid_close(hid_device* device) {
  if (device != nullptr) VirtualInstallation::Instance().Close(device);
}

const wchar_t* hid_error(hid_device*) { return L"virtual interface: operation failed"; }

}  // extern "C"
