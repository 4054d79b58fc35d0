#pragma once

#include <cstdint>

#include "hid/device_match.h"
#include "hid/packet_layer.h"

struct hid_device_;

// The PacketLayer over the hidapi library. Each packet travels as one HID
// report with report ID 0: 65 bytes out (0x00, then the packet), 64 bytes in.
//
// The library is started by the first live layer and ended by the last one.
class HIDAPILayer final : public PacketLayer {
 public:
  HIDAPILayer();
  ~HIDAPILayer();
  HIDAPILayer(const HIDAPILayer&) = delete;
  HIDAPILayer& operator=(const HIDAPILayer&) = delete;

  // Opens the first listed device whose vendor, product, usage page and
  // usage all equal the match. True when such a device was listed, even if
  // opening it failed; IsOpen tells. Called only while no device is open.
  bool Open(const DeviceMatch& match);
  bool IsOpen() const { return device != nullptr; }

  // 64 when the whole report was written, otherwise -1.
  int32_t Write(const uint8_t* packet) override;
  // Never waits: 64 for a packet, 0 when nothing is waiting, -1 on failure.
  int32_t Read(uint8_t* buffer) override;

 private:
  hid_device_* device = nullptr;
};
