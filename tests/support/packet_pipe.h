#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <random>

#include "hid/packet_layer.h"
#include "platform/clock.h"
#include "test_packet.h"

// What a pipe does to the packets of one direction. Packets always arrive
// in the order they were written (a delayed packet holds back those behind
// it), as on a USB pipe.
struct PipeFaults {
  double dropRate = 0.0;       // share of packets lost
  double duplicateRate = 0.0;  // share of packets delivered twice
  double delayRate = 0.0;      // share of packets held back by delayMs more
  uint32_t delayMs = 0;
  uint32_t latencyMicros = 0;  // one-way latency of every packet
};

struct PipeStats {
  uint64_t written = 0;
  uint64_t dropped = 0;
  uint64_t duplicated = 0;
  uint64_t delivered = 0;
};

// Joins two links in memory: what one end writes, the other end reads.
// Latency and delays run on the given Clock (whole milliseconds, simulated
// time for manual links) or, without one, on the steady clock in
// microseconds. Faults are drawn from a seeded generator, so a run with
// manual links is repeatable. Thread-safe.
class PacketPipe {
 public:
  explicit PacketPipe(uint32_t seed = 1);
  explicit PacketPipe(Clock& clock, uint32_t seed = 1);
  PacketPipe(const PacketPipe&) = delete;
  PacketPipe& operator=(const PacketPipe&) = delete;

  // The two ends; either may be the host's.
  PacketLayer& HostEnd() { return hostEnd_; }
  PacketLayer& DeviceEnd() { return deviceEnd_; }

  // Faults of both directions, or of the packets the host (device) writes.
  void SetFaults(const PipeFaults& faults);
  void SetHostToDeviceFaults(const PipeFaults& faults);
  void SetDeviceToHostFaults(const PipeFaults& faults);

  PipeStats HostToDeviceStats();
  PipeStats DeviceToHostStats();

 private:
  struct Queued {
    RawPacket packet;
    uint64_t dueMicros;
  };
  struct Direction {
    PipeFaults faults;
    PipeStats stats;
    std::deque<Queued> queue;
  };
  class End final : public PacketLayer {
   public:
    End(PacketPipe& pipe, Direction& out, Direction& in) : pipe_(pipe), out_(out), in_(in) {}
    int32_t Write(const uint8_t* packet) override { return pipe_.Put(out_, packet); }
    int32_t Read(uint8_t* buffer) override { return pipe_.Take(in_, buffer); }

   private:
    PacketPipe& pipe_;
    Direction& out_;
    Direction& in_;
  };

  int32_t Put(Direction& direction, const uint8_t* packet);
  int32_t Take(Direction& direction, uint8_t* buffer);
  uint64_t NowMicros();
  bool Chance(double rate);

  std::mutex mutex_;
  Clock* clock_;
  uint32_t lastTick_ = 0;
  uint64_t elapsedMs_ = 0;
  std::mt19937 random_;
  Direction toDevice_;
  Direction toHost_;
  End hostEnd_;
  End deviceEnd_;
};
