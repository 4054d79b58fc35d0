#pragma once

#include <atomic>

#include "hid/packet_layer.h"
#include "virtual/packet_channel.h"

// The device's end of the virtual USB wire, as the packet layer of the
// device's link: reads what the host wrote, writes what the host will read.
// A full or busy wire answers a write with "offer again later".
//
// Unplugging fails every later read and write, which makes the device's link
// drop and every link call waiting on it return, so the firmware can stop.
class DevicePort final : public PacketLayer {
 public:
  DevicePort(PacketChannel& fromHost, PacketChannel& toHost)
      : fromHost(fromHost), toHost(toHost) {}

  int32_t Write(const uint8_t* packet) override;
  int32_t Read(uint8_t* buffer) override;

  void Unplug() { unplugged.store(true); }
  bool Unplugged() const { return unplugged.load(); }

 private:
  PacketChannel& fromHost;
  PacketChannel& toHost;
  std::atomic<bool> unplugged{false};
};
