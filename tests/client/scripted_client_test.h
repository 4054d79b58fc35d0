#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "held_clock.h"
#include "scripted_interface.h"

// Tests of one client against a scripted interface on held time.
class ScriptedClientTest : public testing::Test {
 protected:
  void Install(PeerScript script) { peer = InstallScriptedInterface(clock, std::move(script)); }

  // Once the client is gone: the host sent exactly what the script expects,
  // and the script ran to its end.
  void ExpectExactExchange() {
    EXPECT_EQ(peer->Received(), peer->Expected());
    EXPECT_TRUE(peer->Finished());
  }

  HeldClock clock;
  std::shared_ptr<ScriptedPeer> peer;
};

// `count` bytes that differ from their neighbours, so a lost, doubled or
// swapped byte shows.
inline std::vector<uint8_t> Pattern(size_t count, uint8_t seed = 0) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return bytes;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> first, const std::vector<uint8_t>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}
