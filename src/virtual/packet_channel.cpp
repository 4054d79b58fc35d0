#include "virtual/packet_channel.h"

#include <cstring>

namespace {

// True when tick `a` lies before tick `b`, across the tick's wrap.
bool Before(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

constexpr double kDrawRange = 4294967296.0;  // 2^32, the generator's range

}  // namespace

PacketChannel::PacketChannel(Clock& clock, const ChannelTiming& timing, uint32_t seed,
                             Event* arrival)
    : clock(clock), arrival(arrival), timing(timing), random(seed) {}

double PacketChannel::Chance() { return static_cast<double>(random()) / kDrawRange; }

// Arrival times never go backwards, so jitter delays reports without
// reordering them, as on a USB pipe.
bool PacketChannel::Offer(const uint8_t* packet) {
  LockGuard guard(lock);
  const uint32_t now = clock.Now();
  if (wireUsed && Before(now, wireFreeAt)) return false;
  if (reports.size() >= kCapacity) return false;

  const bool lost = Chance() < timing.lossRate;
  const bool doubled = Chance() < timing.duplicateRate;
  const uint32_t jitter = timing.jitterMs == 0 ? 0 : random() % (timing.jitterMs + 1);

  wireUsed = timing.intervalMs != 0;
  wireFreeAt = now + timing.intervalMs;
  if (lost) return true;

  Report report;
  report.arrival = now + timing.latencyMs + jitter;
  if (!reports.empty() && Before(report.arrival, lastArrival)) report.arrival = lastArrival;
  lastArrival = report.arrival;
  std::memcpy(report.bytes, packet, kPacketSize);
  reports.push_back(report);
  if (doubled && reports.size() < kCapacity) reports.push_back(report);
  if (arrival != nullptr) arrival->Set();
  return true;
}

bool PacketChannel::Take(uint8_t* packet) {
  LockGuard guard(lock);
  if (reports.empty() || Before(clock.Now(), reports.front().arrival)) return false;
  std::memcpy(packet, reports.front().bytes, kPacketSize);
  reports.pop_front();
  return true;
}
