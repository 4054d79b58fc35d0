#include "scripted_interface.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/transport_base.h"

namespace {

// Long enough for an answer of a few bytes to cross the virtual wire and be
// taken in by the host's worker; it only makes the intended order likely.
constexpr std::chrono::milliseconds kSettleTime{20};

class ScriptedFirmware final : public VirtualFirmware {
 public:
  explicit ScriptedFirmware(std::shared_ptr<ScriptedPeer> peer) : peer_(std::move(peer)) {}
  void Serve(TransportDevice& link) override { peer_->Serve(link); }

 private:
  std::shared_ptr<ScriptedPeer> peer_;
};

}  // namespace

PeerStep Expect(std::vector<uint8_t> bytes) { return {PeerStep::Kind::Expect, std::move(bytes)}; }
PeerStep Answer(std::vector<uint8_t> bytes) { return {PeerStep::Kind::Answer, std::move(bytes)}; }
PeerStep RunOutWaits(uint32_t count) { return {PeerStep::Kind::RunOutWaits, {}, count}; }
PeerStep GrantRunOuts(uint32_t count) { return {PeerStep::Kind::GrantRunOuts, {}, count}; }
PeerStep Settle() { return {PeerStep::Kind::Settle, {}, 0}; }
PeerStep AwaitHostWait() { return {PeerStep::Kind::AwaitHostWait, {}, 0}; }
PeerStep Advance(uint32_t milliseconds) { return {PeerStep::Kind::Advance, {}, milliseconds}; }

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char digits[4];
  for (const uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, text.empty() ? "%02X" : " %02X", byte);
    text += digits;
  }
  return text;
}

void ScriptedPeer::Serve(TransportDevice& link) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    sessions_ += 1;
  }
  for (const PeerStep& step : script_) {
    if (!RunStep(link, step)) return;
  }
  {
    std::lock_guard<std::mutex> guard(mutex_);
    finished_ = true;
  }
  uint8_t surplus;
  while (link.Receive(&surplus, 1, kNoLimit) > 0) Record(&surplus, 1);
}

// False when the link ended under the step, or a wait for the host gave up.
bool ScriptedPeer::RunStep(TransportDevice& link, const PeerStep& step) {
  switch (step.kind) {
    case PeerStep::Kind::Expect: {
      std::vector<uint8_t> bytes(step.bytes.size());
      size_t got = 0;
      while (got < bytes.size()) {
        const int32_t result =
            link.Receive(bytes.data() + got, static_cast<uint32_t>(bytes.size() - got), kNoLimit);
        if (result <= 0) break;
        got += static_cast<size_t>(result);
      }
      Record(bytes.data(), got);
      return got == bytes.size();
    }
    case PeerStep::Kind::Answer: {
      size_t sent = 0;
      while (sent < step.bytes.size()) {
        const int32_t result = link.Send(step.bytes.data() + sent,
                                         static_cast<uint32_t>(step.bytes.size() - sent), kNoLimit);
        if (result <= 0) return false;
        sent += static_cast<size_t>(result);
      }
      return true;
    }
    case PeerStep::Kind::RunOutWaits:
      clock_.RunOutWaits(step.count);
      return clock_.AwaitRunOutsUsed();
    case PeerStep::Kind::GrantRunOuts:
      clock_.RunOutWaits(step.count);
      return true;
    case PeerStep::Kind::AwaitHostWait:
      return clock_.AwaitApplicationWait();
    case PeerStep::Kind::Advance:
      clock_.Advance(step.count);
      return true;
    case PeerStep::Kind::Settle:
      std::this_thread::sleep_for(kSettleTime);
      return true;
  }
  return false;
}

void ScriptedPeer::Record(const uint8_t* bytes, size_t count) {
  std::lock_guard<std::mutex> guard(mutex_);
  received_.insert(received_.end(), bytes, bytes + count);
}

std::string ScriptedPeer::Received() {
  std::lock_guard<std::mutex> guard(mutex_);
  return Hex(received_);
}

std::string ScriptedPeer::Expected() const {
  std::vector<uint8_t> bytes;
  for (const PeerStep& step : script_) {
    if (step.kind == PeerStep::Kind::Expect) {
      bytes.insert(bytes.end(), step.bytes.begin(), step.bytes.end());
    }
  }
  return Hex(bytes);
}

bool ScriptedPeer::Finished() {
  std::lock_guard<std::mutex> guard(mutex_);
  return finished_;
}

uint32_t ScriptedPeer::Sessions() {
  std::lock_guard<std::mutex> guard(mutex_);
  return sessions_;
}

std::shared_ptr<ScriptedPeer> InstallScriptedInterface(HeldClock& clock, PeerScript script) {
  auto peer = std::make_shared<ScriptedPeer>(clock, std::move(script));
  InstallVirtualInterface(VirtualSettings{}, std::make_unique<ScriptedFirmware>(peer));
  return peer;
}
