#include "scripted_device.h"

#include <hidapi.h>

#include <cstdlib>
#include <cstring>

#include "client/command_protocol.h"

namespace {

constexpr size_t kPacketBytes = 64;
constexpr size_t kOutputReportBytes = 1 + kPacketBytes;  // report ID 0, then the packet
// Bytes the firmware takes from its link per step, and the most it queues.
constexpr uint32_t kFirmwareChunk = 256;
constexpr char kDevicePath[] = "scripted-interface";

}  // namespace

void ScriptedDevice::Open() {
  toDevice_.clear();
  toHost_.clear();
  pending_.clear();
  received_.clear();
  hostReadsFail_ = false;
  hostWritesFail_ = false;
  lastActivity_.store(clock_.Now());
  link_.reset(new DeviceProbe(&end_, clock_, LinkWorker::Manual));
  link_->Listen();
}

void ScriptedDevice::Close() { link_.reset(); }

int ScriptedDevice::HostWrite(const uint8_t* report, size_t length) {
  if (hostWritesFail_ || length != kOutputReportBytes || report[0] != 0) return -1;
  std::array<uint8_t, kPacketBytes> packet;
  std::memcpy(packet.data(), report + 1, kPacketBytes);
  toDevice_.push_back(packet);
  lastActivity_.store(clock_.Now());
  Step();
  return static_cast<int>(kOutputReportBytes);
}

int ScriptedDevice::HostRead(uint8_t* buffer, size_t length) {
  Step();
  if (hostReadsFail_ || length < kPacketBytes) return -1;
  if (toHost_.empty()) return 0;
  std::memcpy(buffer, toHost_.front().data(), kPacketBytes);
  toHost_.pop_front();
  return static_cast<int>(kPacketBytes);
}

int32_t ScriptedDevice::DeviceEnd::Write(const uint8_t* packet) {
  std::array<uint8_t, kPacketBytes> copy;
  std::memcpy(copy.data(), packet, kPacketBytes);
  device_.toHost_.push_back(copy);
  device_.lastActivity_.store(device_.clock_.Now());
  return static_cast<int32_t>(kPacketBytes);
}

int32_t ScriptedDevice::DeviceEnd::Read(uint8_t* buffer) {
  if (device_.toDevice_.empty()) return 0;
  std::memcpy(buffer, device_.toDevice_.front().data(), kPacketBytes);
  device_.toDevice_.pop_front();
  return static_cast<int32_t>(kPacketBytes);
}

void ScriptedDevice::Step() {
  if (!link_) return;
  link_->Poll();
  RunFirmware();
}

// Takes whatever the host sent; each batch of new bytes lets the next
// scripted action happen. Queued answer bytes go out as the link has room.
void ScriptedDevice::RunFirmware() {
  if (link_->CurrentState() != LinkState::Connected) return;
  uint8_t bytes[kFirmwareChunk];
  const int32_t got = link_->Receive(bytes, kFirmwareChunk, 0);
  if (got > 0) {
    received_.insert(received_.end(), bytes, bytes + got);
    if (!script_.empty()) {
      DeviceAction action = std::move(script_.front());
      script_.pop_front();
      switch (action.kind) {
        case DeviceAction::Kind::Answer:
          pending_.insert(pending_.end(), action.bytes.begin(), action.bytes.end());
          break;
        case DeviceAction::Kind::DropLink:
          link_->Abort();
          pending_.clear();
          return;
        case DeviceAction::Kind::FailHostReads:
          hostReadsFail_ = true;
          break;
        case DeviceAction::Kind::FailHostWrites:
          hostWritesFail_ = true;
          break;
      }
    }
  }
  if (!pending_.empty()) {
    const int32_t sent = link_->Send(pending_.data(), static_cast<uint32_t>(pending_.size()), 0);
    if (sent > 0) pending_.erase(pending_.begin(), pending_.begin() + sent);
  }
}

// The hidapi functions the HID layer calls, presenting the one scripted
// device under the client's first identity.
extern "C" {

struct hid_device_ {
  int unused;
};

int hid_init(void) { return 0; }
int hid_exit(void) { return 0; }

hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  const DeviceMatch& identity = kInterfaceIdentities[0];
  if (vendor_id != identity.vendor_id || product_id != identity.product_id) return nullptr;
  auto* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
  info->path = const_cast<char*>(kDevicePath);
  info->vendor_id = identity.vendor_id;
  info->product_id = identity.product_id;
  info->usage_page = identity.usage_page;
  info->usage = identity.usage;
  return info;
}

void hid_free_enumeration(hid_device_info* list) {
  while (list != nullptr) {
    hid_device_info* next = list->next;
    std::free(list);
    list = next;
  }
}

hid_device* hid_open_path(const char* path) {
  if (std::strcmp(path, kDevicePath) != 0) return nullptr;
  TheScriptedDevice().Open();
  return new hid_device_{0};
}

int hid_write(hid_device*, const unsigned char* data, size_t length) {
  return TheScriptedDevice().HostWrite(data, length);
}

int hid_read_timeout(hid_device*, unsigned char* data, size_t length, int) {
  return TheScriptedDevice().HostRead(data, length);
}

int hid_read(hid_device* device, unsigned char* data, size_t length) {
  return hid_read_timeout(device, data, length, 0);
}

void hid_close(hid_device* device) {
  TheScriptedDevice().Close();
  delete device;
}

}  // extern "C"
