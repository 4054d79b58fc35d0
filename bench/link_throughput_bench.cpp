// Send-to-Receive throughput of a host link and a responding link, each
// with its worker thread, joined by the in-memory packet pipe at a fixed
// one-way latency. Printed beside the floor the design sets: one 61-byte
// packet per round trip, where a round trip is the latency both ways plus
// at most one busy poll interval (1 ms) at each end.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <thread>
#include <vector>

#include "link/transport_host.h"
#include "packet_pipe.h"
#include "virtual/transport_device.h"

namespace {

constexpr uint32_t kChunkBytes = 4096;

double FloorBytesPerSecond(uint32_t latencyMs) {
  const double roundTripSeconds = (2.0 * latencyMs + 2.0 * kBusyPollMs) / 1000.0;
  return kMaxPayload / roundTripSeconds;
}

void SendToReceive(benchmark::State& state) {
  const uint32_t latencyMs = static_cast<uint32_t>(state.range(0));
  PacketPipe pipe;
  PipeFaults faults;
  faults.latencyMicros = latencyMs * 1000u;
  pipe.SetFaults(faults);
  TransportHost host(&pipe.HostEnd());
  TransportDevice device(&pipe.DeviceEnd());

  bool accepted = false;
  std::thread acceptor([&] { accepted = device.Accept(static_cast<int32_t>(kConnectTimeoutMs)); });
  const bool connected = host.Connect();
  acceptor.join();
  if (!connected || !accepted) {
    state.SkipWithError("the links did not connect");
    return;
  }

  std::vector<uint8_t> out(kChunkBytes, 0x5A);
  std::vector<uint8_t> in(kChunkBytes);
  for (auto _ : state) {
    int32_t received = 0;
    std::thread receiver([&] { received = device.Receive(in.data(), kChunkBytes, kNoLimit); });
    const int32_t sent = host.Send(out.data(), kChunkBytes, kNoLimit);
    receiver.join();
    if (sent != static_cast<int32_t>(kChunkBytes) || received != static_cast<int32_t>(kChunkBytes)) {
      state.SkipWithError("the link went down");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kChunkBytes);
  state.counters["floor_bytes_per_second"] = FloorBytesPerSecond(latencyMs);
  state.counters["latency_ms"] = latencyMs;
}

BENCHMARK(SendToReceive)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What one busy poll interval really lasts on this machine: the floor above
// assumes exactly 1 ms, and every overshoot of the sleep lengthens each
// round trip twice.
void BusyPollSleep(benchmark::State& state) {
  for (auto _ : state) SystemClock().Sleep(kBusyPollMs);
}

BENCHMARK(BusyPollSleep)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
