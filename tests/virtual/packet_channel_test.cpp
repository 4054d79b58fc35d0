#include "virtual/packet_channel.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim_clock.h"

namespace {

struct Packet {
  uint8_t bytes[kPacketSize] = {};
  explicit Packet(uint8_t tag = 0) { bytes[0] = tag; }
};

// Offers one report per millisecond and returns the tags of those that
// arrived, in arrival order.
std::vector<uint8_t> Traffic(const ChannelTiming& timing, uint32_t seed, int reports) {
  SimClock clock;
  PacketChannel channel(clock, timing, seed);
  std::vector<uint8_t> arrived;
  Packet received;
  for (int i = 0; i < reports; ++i) {
    EXPECT_TRUE(channel.Offer(Packet(static_cast<uint8_t>(i)).bytes));
    clock.Advance(1);
    while (channel.Take(received.bytes)) arrived.push_back(received.bytes[0]);
  }
  clock.Advance(1000);
  while (channel.Take(received.bytes)) arrived.push_back(received.bytes[0]);
  return arrived;
}

TEST(PacketChannelTest, OneReportPerIntervalArrivingAfterTheLatency) {
  SimClock clock(0xFFFFFFFEu);  // across the tick's wrap
  ChannelTiming timing;
  timing.intervalMs = 2;
  timing.latencyMs = 3;
  PacketChannel channel(clock, timing, 1);
  Packet out(0xAB);
  Packet in;

  EXPECT_TRUE(channel.Offer(out.bytes));
  EXPECT_FALSE(channel.Offer(out.bytes)) << "the wire is busy for 2 ms";
  clock.Advance(1);
  EXPECT_FALSE(channel.Offer(out.bytes));
  clock.Advance(1);
  EXPECT_TRUE(channel.Offer(Packet(0xCD).bytes));

  EXPECT_FALSE(channel.Take(in.bytes)) << "still travelling";
  clock.Advance(1);
  ASSERT_TRUE(channel.Take(in.bytes));
  EXPECT_EQ(in.bytes[0], 0xAB);
  EXPECT_FALSE(channel.Take(in.bytes));
  clock.Advance(2);
  ASSERT_TRUE(channel.Take(in.bytes));
  EXPECT_EQ(in.bytes[0], 0xCD);
}

TEST(PacketChannelTest, FullChannelRefusesUntilTheReceiverTakes) {
  SimClock clock;
  ChannelTiming timing;
  timing.intervalMs = 0;
  PacketChannel channel(clock, timing, 1);
  Packet packet;
  for (uint32_t i = 0; i < PacketChannel::kCapacity; ++i) ASSERT_TRUE(channel.Offer(packet.bytes));
  EXPECT_FALSE(channel.Offer(packet.bytes));
  ASSERT_TRUE(channel.Take(packet.bytes));
  EXPECT_TRUE(channel.Offer(packet.bytes));
}

TEST(PacketChannelTest, FaultsAreSeededAndNeverReorder) {
  ChannelTiming lossy;
  lossy.lossRate = 0.3;
  const std::vector<uint8_t> first = Traffic(lossy, 5, 200);
  EXPECT_EQ(Traffic(lossy, 5, 200), first) << "same seed, same losses";
  EXPECT_NE(Traffic(lossy, 6, 200), first);
  EXPECT_GT(first.size(), 100u);
  EXPECT_LT(first.size(), 180u);

  ChannelTiming everything;
  everything.lossRate = 0.1;
  everything.duplicateRate = 0.2;
  everything.latencyMs = 4;
  everything.jitterMs = 9;
  const std::vector<uint8_t> arrived = Traffic(everything, 9, 200);
  size_t doubles = 0;
  for (size_t i = 1; i < arrived.size(); ++i) {
    ASSERT_LE(arrived[i - 1], arrived[i]) << "reports keep their order";
    if (arrived[i - 1] == arrived[i]) doubles += 1;
  }
  EXPECT_GT(doubles, 10u);

  ChannelTiming all;
  all.lossRate = 1.0;
  EXPECT_TRUE(Traffic(all, 1, 50).empty());
  ChannelTiming clean;
  EXPECT_EQ(Traffic(clean, 1, 50).size(), 50u);
}

}  // namespace
