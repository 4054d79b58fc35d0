#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "hid/packet_layer.h"
#include "test_packet.h"

// A PacketLayer played by the test: it hands out the packets the test
// delivered, records every packet written, and can answer with chosen
// results (0 "try again", -1 failure) or a slow Write. Safe to use from the
// link's worker thread while the test thread scripts it.
class ScriptedLayer final : public PacketLayer {
 public:
  int32_t Write(const uint8_t* packet) override;
  int32_t Read(uint8_t* buffer) override;

  // Queues a packet for a later Read.
  void Deliver(const RawPacket& packet);
  // The next Reads return these results instead of a packet (then normal).
  void ScriptReadResults(std::initializer_list<int32_t> results);
  // The next Writes return these results (then 64). Only a Write answering
  // 64 counts as sent.
  void ScriptWriteResults(std::initializer_list<int32_t> results);
  // Every Write takes this long (real time) before it answers.
  void SetWriteDelay(std::chrono::milliseconds delay) { writeDelay_ = delay; }

  // Packets written with result 64, in order.
  std::vector<RawPacket> Sent();
  // Returns and forgets the packets sent so far.
  std::vector<RawPacket> TakeSent();
  int WriteAttempts();
  int ReadCalls();
  size_t PendingDeliveries();

  // After Close, any call of Write or Read is counted as a fault.
  void Close() { closed_ = true; }
  int CallsAfterClose() { return callsAfterClose_; }

 private:
  std::mutex mutex_;
  std::deque<RawPacket> incoming_;
  std::deque<int32_t> readResults_;
  std::deque<int32_t> writeResults_;
  std::vector<RawPacket> sent_;
  int writeAttempts_ = 0;
  int readCalls_ = 0;
  std::atomic<std::chrono::milliseconds> writeDelay_{std::chrono::milliseconds(0)};
  std::atomic<bool> closed_{false};
  std::atomic<int> callsAfterClose_{0};
};
