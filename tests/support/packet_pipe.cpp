#include "packet_pipe.h"

#include <chrono>
#include <cstring>

PacketPipe::PacketPipe(uint32_t seed)
    : clock_(nullptr),
      random_(seed),
      hostEnd_(*this, toDevice_, toHost_),
      deviceEnd_(*this, toHost_, toDevice_) {}

PacketPipe::PacketPipe(Clock& clock, uint32_t seed)
    : clock_(&clock),
      lastTick_(clock.Now()),
      random_(seed),
      hostEnd_(*this, toDevice_, toHost_),
      deviceEnd_(*this, toHost_, toDevice_) {}

void PacketPipe::SetFaults(const PipeFaults& faults) {
  std::lock_guard<std::mutex> guard(mutex_);
  toDevice_.faults = faults;
  toHost_.faults = faults;
}

void PacketPipe::SetHostToDeviceFaults(const PipeFaults& faults) {
  std::lock_guard<std::mutex> guard(mutex_);
  toDevice_.faults = faults;
}

void PacketPipe::SetDeviceToHostFaults(const PipeFaults& faults) {
  std::lock_guard<std::mutex> guard(mutex_);
  toHost_.faults = faults;
}

PipeStats PacketPipe::HostToDeviceStats() {
  std::lock_guard<std::mutex> guard(mutex_);
  return toDevice_.stats;
}

PipeStats PacketPipe::DeviceToHostStats() {
  std::lock_guard<std::mutex> guard(mutex_);
  return toHost_.stats;
}

// With a Clock, time is its 32-bit tick unwrapped into 64 bits, so delays
// keep working when a test moves the tick across 2^32.
uint64_t PacketPipe::NowMicros() {
  if (clock_ == nullptr) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
  }
  const uint32_t tick = clock_->Now();
  elapsedMs_ += static_cast<uint32_t>(tick - lastTick_);
  lastTick_ = tick;
  return elapsedMs_ * 1000u;
}

bool PacketPipe::Chance(double rate) {
  if (rate <= 0.0) return false;
  return std::uniform_real_distribution<double>(0.0, 1.0)(random_) < rate;
}

int32_t PacketPipe::Put(Direction& direction, const uint8_t* packet) {
  std::lock_guard<std::mutex> guard(mutex_);
  direction.stats.written += 1;
  const PipeFaults& faults = direction.faults;
  if (Chance(faults.dropRate)) {
    direction.stats.dropped += 1;
    return kPacketSize;  // lost on the way; the sender cannot tell
  }
  Queued queued;
  std::memcpy(queued.packet.data(), packet, queued.packet.size());
  queued.dueMicros = NowMicros() + faults.latencyMicros;
  if (Chance(faults.delayRate)) queued.dueMicros += uint64_t{faults.delayMs} * 1000u;
  if (!direction.queue.empty() && direction.queue.back().dueMicros > queued.dueMicros) {
    queued.dueMicros = direction.queue.back().dueMicros;
  }
  direction.queue.push_back(queued);
  if (Chance(faults.duplicateRate)) {
    direction.stats.duplicated += 1;
    direction.queue.push_back(queued);
  }
  return kPacketSize;
}

int32_t PacketPipe::Take(Direction& direction, uint8_t* buffer) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (direction.queue.empty() || direction.queue.front().dueMicros > NowMicros()) return 0;
  std::memcpy(buffer, direction.queue.front().packet.data(), kPacketSize);
  direction.queue.pop_front();
  direction.stats.delivered += 1;
  return kPacketSize;
}
