#pragma once

#include <cstdint>
#include <vector>

#include "link_probe.h"
#include "scripted_layer.h"
#include "sim_clock.h"
#include "test_packet.h"

// One manual link over a scripted layer, on simulated time.
struct ManualLink {
  SimClock clock{1000};
  ScriptedLayer layer;
  HostProbe link{&layer, clock, LinkWorker::Manual};

  // One Poll, after delivering `incoming`; returns what went out in it.
  std::vector<PacketHeader> Step(const RawPacket& incoming) {
    layer.Deliver(incoming);
    return Step();
  }
  std::vector<PacketHeader> Step() {
    link.Poll();
    return HeadersOf(layer.TakeSent());
  }
  // Polls once a millisecond for the given time; returns what went out.
  std::vector<PacketHeader> Run(uint32_t milliseconds) {
    for (uint32_t i = 0; i < milliseconds; ++i) {
      clock.Advance(1);
      link.Poll();
    }
    return HeadersOf(layer.TakeSent());
  }
};

inline std::vector<uint8_t> Bytes(uint32_t count, uint8_t first = 0) {
  std::vector<uint8_t> bytes(count);
  for (uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

using Headers = std::vector<PacketHeader>;
