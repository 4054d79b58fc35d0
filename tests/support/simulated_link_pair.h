#pragma once

#include <cstdint>

#include "link_probe.h"
#include "packet_pipe.h"
#include "sim_clock.h"

// A host link and a responding link, both LinkWorker::Manual, joined by a
// PacketPipe and stepped by one SimClock: every simulated millisecond polls
// the host, then the device. A blocking call on either link (Connect, Send,
// Receive with a limit) therefore moves both engines while it waits, and
// the whole run is deterministic for a given seed.
class SimulatedLinkPair {
 public:
  explicit SimulatedLinkPair(uint32_t seed = 1, uint32_t startTick = 0)
      : clock(startTick),
        pipe(clock, seed),
        host(&pipe.HostEnd(), clock, LinkWorker::Manual),
        device(&pipe.DeviceEnd(), clock, LinkWorker::Manual) {
    clock.OnEachMillisecond([this] {
      host.Poll();
      device.Poll();
    });
  }
  ~SimulatedLinkPair() { clock.OnEachMillisecond(nullptr); }

  // The device listens and the host opens the link; true when both ends
  // are Connected.
  bool Connect() {
    device.Listen();
    if (!host.Connect()) return false;
    // The device turns Connected on the host's acknowledgement of its
    // accept, which may still be on its way.
    for (int i = 0; i < 1000 && device.CurrentState() != LinkState::Connected; ++i) clock.Advance(1);
    return device.CurrentState() == LinkState::Connected;
  }

  SimClock clock;
  PacketPipe pipe;
  HostProbe host;
  DeviceProbe device;
};
