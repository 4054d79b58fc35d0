#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "held_clock.h"
#include "virtual/virtual_interface.h"
#include "virtual/virtual_settings.h"

// One step of a scripted interface's side of the command protocol.
struct PeerStep {
  enum class Kind {
    Expect,            // read exactly `bytes.size()` bytes from the host
    Answer,            // send `bytes` to the host
    RunOutWaits,       // let `count` waits of the host run out, and wait until they have
    GrantRunOuts,      // let `count` waits of the host run out, without waiting for it
    AwaitHostWait,     // wait until the host is waiting inside the link
    Advance,           // move the host's clock on by `count` ms
    Settle,            // give the last answer a moment of real time to reach the host
  };
  Kind kind;
  std::vector<uint8_t> bytes;
  uint32_t count = 0;
};
using PeerScript = std::vector<PeerStep>;

PeerStep Expect(std::vector<uint8_t> bytes);
PeerStep Answer(std::vector<uint8_t> bytes);
PeerStep RunOutWaits(uint32_t count);
PeerStep GrantRunOuts(uint32_t count);
PeerStep AwaitHostWait();
PeerStep Advance(uint32_t milliseconds);
PeerStep Settle();

// What the scripted interface saw of the host. Read it once the client is
// gone: closing the device ends the session.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(HeldClock& clock, PeerScript script)
      : clock_(clock), script_(std::move(script)) {}

  // Serves one link session: the script, then records whatever else the
  // host sends until the link ends.
  void Serve(TransportDevice& link);

  // Every byte the host sent, in order, as "02 EB 03".
  std::string Received();
  // The bytes that the script's Expect steps name, in the same form.
  std::string Expected() const;
  // True when every step ran.
  bool Finished();
  uint32_t Sessions();

 private:
  bool RunStep(TransportDevice& link, const PeerStep& step);
  void Record(const uint8_t* bytes, size_t count);

  HeldClock& clock_;
  const PeerScript script_;
  std::mutex mutex_;
  std::vector<uint8_t> received_;
  bool finished_ = false;
  uint32_t sessions_ = 0;
};

// Bytes as "02 EB 03", the way failures read best.
std::string Hex(const std::vector<uint8_t>& bytes);

// Installs a virtual interface, listed under the first identity, whose
// firmware plays the script.
std::shared_ptr<ScriptedPeer> InstallScriptedInterface(HeldClock& clock, PeerScript script);
