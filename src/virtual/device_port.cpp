#include "virtual/device_port.h"

namespace {
constexpr int32_t kFailed = -1;
constexpr int32_t kOfferAgain = 0;
constexpr int32_t kNothingWaiting = 0;
}  // namespace

int32_t DevicePort::Write(const uint8_t* packet) {
  if (Unplugged()) return kFailed;
  return toHost.Offer(packet) ? kPacketSize : kOfferAgain;
}

int32_t DevicePort::Read(uint8_t* buffer) {
  if (Unplugged()) return kFailed;
  return fromHost.Take(buffer) ? kPacketSize : kNothingWaiting;
}
