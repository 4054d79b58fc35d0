#include "scripted_layer.h"

#include <cstring>
#include <thread>

int32_t ScriptedLayer::Write(const uint8_t* packet) {
  if (closed_) ++callsAfterClose_;
  const std::chrono::milliseconds delay = writeDelay_;
  if (delay.count() > 0) std::this_thread::sleep_for(delay);
  std::lock_guard<std::mutex> guard(mutex_);
  ++writeAttempts_;
  int32_t result = kPacketSize;
  if (!writeResults_.empty()) {
    result = writeResults_.front();
    writeResults_.pop_front();
  }
  if (result == kPacketSize) {
    RawPacket copy;
    std::memcpy(copy.data(), packet, copy.size());
    sent_.push_back(copy);
  }
  return result;
}

int32_t ScriptedLayer::Read(uint8_t* buffer) {
  if (closed_) ++callsAfterClose_;
  std::lock_guard<std::mutex> guard(mutex_);
  ++readCalls_;
  if (!readResults_.empty()) {
    const int32_t result = readResults_.front();
    readResults_.pop_front();
    return result;
  }
  if (incoming_.empty()) return 0;
  std::memcpy(buffer, incoming_.front().data(), kPacketSize);
  incoming_.pop_front();
  return kPacketSize;
}

void ScriptedLayer::Deliver(const RawPacket& packet) {
  std::lock_guard<std::mutex> guard(mutex_);
  incoming_.push_back(packet);
}

void ScriptedLayer::ScriptReadResults(std::initializer_list<int32_t> results) {
  std::lock_guard<std::mutex> guard(mutex_);
  readResults_.insert(readResults_.end(), results);
}

void ScriptedLayer::ScriptWriteResults(std::initializer_list<int32_t> results) {
  std::lock_guard<std::mutex> guard(mutex_);
  writeResults_.insert(writeResults_.end(), results);
}

std::vector<RawPacket> ScriptedLayer::Sent() {
  std::lock_guard<std::mutex> guard(mutex_);
  return sent_;
}

std::vector<RawPacket> ScriptedLayer::TakeSent() {
  std::lock_guard<std::mutex> guard(mutex_);
  std::vector<RawPacket> taken;
  taken.swap(sent_);
  return taken;
}

int ScriptedLayer::WriteAttempts() {
  std::lock_guard<std::mutex> guard(mutex_);
  return writeAttempts_;
}

int ScriptedLayer::ReadCalls() {
  std::lock_guard<std::mutex> guard(mutex_);
  return readCalls_;
}

size_t ScriptedLayer::PendingDeliveries() {
  std::lock_guard<std::mutex> guard(mutex_);
  return incoming_.size();
}
