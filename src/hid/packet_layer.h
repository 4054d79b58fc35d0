#pragma once

#include <cstdint>

// Size of every packet a PacketLayer moves.
constexpr int32_t kPacketSize = 64;

// Moves single 64-byte packets to and from a device. The link's worker
// thread is its only user while a link exists.
//
// No layer is ever destroyed through this interface, so the destructor is
// protected and not virtual.
class PacketLayer {
 public:
  // Sends one packet. Returns 64 when it was sent, 0 when it cannot be taken
  // now and is to be offered again, any other value on failure.
  virtual int32_t Write(const uint8_t* packet) = 0;
  // Never blocks. Copies one packet into the buffer and returns 64, returns 0
  // when nothing has arrived, any other value on failure.
  virtual int32_t Read(uint8_t* buffer) = 0;

 protected:
  PacketLayer() = default;
  ~PacketLayer() = default;
  PacketLayer(const PacketLayer&) = default;
  PacketLayer& operator=(const PacketLayer&) = default;
};
