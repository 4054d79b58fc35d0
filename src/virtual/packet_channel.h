#pragma once

#include <cstdint>
#include <deque>
#include <random>

#include "hid/packet_layer.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/lock.h"

// How reports travel in one direction.
struct ChannelTiming {
  uint32_t intervalMs = 1;  // at most one report per interval; 0: unpaced
  uint32_t latencyMs = 0;   // added to every report's travel
  uint32_t jitterMs = 0;    // up to this much more, drawn per report
  double lossRate = 0.0;    // chance that a report is lost
  double duplicateRate = 0.0;  // chance that a report arrives twice
};

// One direction of the virtual USB wire: 64-byte reports leave at most one
// per interval, like an interrupt endpoint polled once per frame, and arrive
// after the latency, in the order they left. Loss, duplication and jitter
// are drawn from a generator seeded at construction, three draws per
// accepted report, so equal traffic meets equal faults.
//
// Safe for one sender and one receiver on different threads.
class PacketChannel {
 public:
  // Reports in flight or waiting for the receiver, at most.
  static constexpr uint32_t kCapacity = 64;

  // `arrival`, when given, is set whenever a report is put on the wire
  // (and not lost), so the receiver can wake for it instead of polling.
  PacketChannel(Clock& clock, const ChannelTiming& timing, uint32_t seed,
                Event* arrival = nullptr);
  PacketChannel(const PacketChannel&) = delete;
  PacketChannel& operator=(const PacketChannel&) = delete;

  // Puts one report on the wire. False, with nothing changed, while the wire
  // is still busy with the previous report or the channel is full. An
  // accepted report may yet be lost or doubled on its way.
  bool Offer(const uint8_t* packet);
  // Takes the oldest report that has arrived by now; false when none has.
  bool Take(uint8_t* packet);

 private:
  struct Report {
    uint32_t arrival;
    uint8_t bytes[kPacketSize];
  };

  // A draw in [0, 1).
  double Chance();

  Clock& clock;
  Event* const arrival;
  const ChannelTiming timing;
  Lock lock;
  std::mt19937 random;
  std::deque<Report> reports;
  bool wireUsed = false;
  uint32_t wireFreeAt = 0;
  uint32_t lastArrival = 0;
};
