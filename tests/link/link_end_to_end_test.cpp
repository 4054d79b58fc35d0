// A host link and a responding link joined by a lossy in-memory pipe carry
// 64 KiB each way at the same time; every byte must arrive, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "link/transport_host.h"
#include "packet_pipe.h"
#include "simulated_link_pair.h"
#include "virtual/transport_device.h"

namespace {

constexpr uint32_t kStreamBytes = 64 * 1024;

std::vector<uint8_t> Pattern(uint32_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed;
  for (uint8_t& byte : bytes) {
    x = x * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

// The application side of one link: queues and takes whatever it can.
struct Stream {
  std::vector<uint8_t> out;
  std::vector<uint8_t> in;
  uint32_t sent = 0;
  uint32_t received = 0;

  Stream(uint32_t seed) : out(Pattern(kStreamBytes, seed)), in(kStreamBytes) {}
  bool Done() const { return sent == out.size() && received == in.size(); }

  // One Send and one Receive, each waiting at most `limit`. False when the
  // link went down.
  bool Step(TransportBase& link, int32_t limit) {
    if (sent < out.size()) {
      const int32_t n = link.Send(&out[sent], static_cast<uint32_t>(out.size() - sent), limit);
      if (n < 0) return false;
      sent += static_cast<uint32_t>(n);
    }
    if (received < in.size()) {
      const int32_t n = link.Receive(&in[received], static_cast<uint32_t>(in.size() - received), limit);
      if (n < 0) return false;
      received += static_cast<uint32_t>(n);
    }
    return true;
  }
};

PipeFaults TenPercentLoss() {
  PipeFaults faults;
  faults.dropRate = 0.10;
  return faults;
}

TEST(LinkEndToEnd, SimulatedLossyPipeDeliversBothStreamsExactly) {
  SimulatedLinkPair pair(/*seed=*/7);
  ASSERT_TRUE(pair.Connect());
  PipeFaults faults = TenPercentLoss();
  faults.duplicateRate = 0.05;
  faults.delayRate = 0.05;
  faults.delayMs = 3;
  pair.pipe.SetFaults(faults);

  Stream host(1), device(2);
  const uint32_t start = pair.clock.Now();
  while (!(host.Done() && device.Done())) {
    ASSERT_TRUE(host.Step(pair.host, 0));
    ASSERT_TRUE(device.Step(pair.device, 0));
    pair.clock.Advance(1);
    ASSERT_LT(pair.clock.Now() - start, 30u * 60u * 1000u) << "no progress in 30 simulated minutes";
  }
  RecordProperty("simulated_ms", static_cast<int>(pair.clock.Now() - start));

  EXPECT_TRUE(host.in == device.out);
  EXPECT_TRUE(device.in == host.out);
  EXPECT_EQ(pair.host.CurrentState(), LinkState::Connected);
  EXPECT_EQ(pair.device.CurrentState(), LinkState::Connected);
  const PipeStats toDevice = pair.pipe.HostToDeviceStats();
  const PipeStats toHost = pair.pipe.DeviceToHostStats();
  EXPECT_GT(toDevice.dropped + toHost.dropped, 100u);
  EXPECT_GT(toDevice.duplicated + toHost.duplicated, 50u);
}

// The same with real worker threads and an application thread per link,
// waiting on the links' events instead of stepping them.
TEST(LinkEndToEnd, ThreadedLossyPipeDeliversBothStreamsExactly) {
  PacketPipe pipe(/*seed=*/11);
  TransportHost host(&pipe.HostEnd());
  TransportDevice device(&pipe.DeviceEnd());

  bool accepted = false;
  std::thread acceptor([&] { accepted = device.Accept(5000); });
  const bool connected = host.Connect();
  acceptor.join();
  ASSERT_TRUE(connected);
  ASSERT_TRUE(accepted);
  pipe.SetFaults(TenPercentLoss());

  Stream hostStream(3), deviceStream(4);
  bool hostUp = true, deviceUp = true;
  std::thread deviceSide([&] {
    while (deviceUp && !deviceStream.Done()) deviceUp = deviceStream.Step(device, 2);
  });
  while (hostUp && !hostStream.Done()) hostUp = hostStream.Step(host, 2);
  deviceSide.join();

  ASSERT_TRUE(hostUp);
  ASSERT_TRUE(deviceUp);
  EXPECT_TRUE(hostStream.in == deviceStream.out);
  EXPECT_TRUE(deviceStream.in == hostStream.out);
  EXPECT_GT(pipe.HostToDeviceStats().dropped + pipe.DeviceToHostStats().dropped, 100u);
}

}  // namespace
