#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/device_match.h"

// The two USB identities under which interface devices are found.
constexpr DeviceMatch kVirtualPrimaryIdentity{0x16D0, 0x0F12, 0xFFAB, 0x0200};
constexpr DeviceMatch kVirtualSecondaryIdentity{0x16C0, 0x0486, 0xFFAB, 0x0200};

// A count limit meaning "never".
constexpr int32_t kVirtualNever = -1;

// One HID node that the virtual library lists, in list order.
struct VirtualNode {
  DeviceMatch identity;
  bool openable = true;  // false: listed, but hid_open_path gives null
};

// What the board model answers to ReadDebug instead of its output.
enum class VirtualDebugFault : uint32_t {
  None = 0,      // DebugData with the queued output
  Timeout = 1,   // DebugTimeout with length 0, the board download timed out
  WrongTag = 2,  // an answer head with an undefined tag
  OverLong = 3,  // DebugData announcing 257 bytes, more than the host takes
  TimeoutWithLength = 4,  // DebugTimeout with length 1 instead of 0
};

// Everything that shapes one virtual interface: what it lists, how its
// reports travel, what its firmware answers and which faults it injects.
struct VirtualSettings {
  // Listed nodes, in the order hid_enumerate gives them. Empty: no device.
  std::vector<VirtualNode> nodes{VirtualNode{kVirtualPrimaryIdentity, true}};

  // Firmware identity, as VersionReply gives it.
  uint8_t versionMajor = 1;
  uint8_t versionMinor = 0;
  std::string name = "Kavlo virtual interface";

  // Report timing, per direction: at most one report every `reportIntervalMs`
  // (0: unpaced), each arriving `latencyMs` plus up to `jitterMs` after it
  // left. Reports never overtake one another.
  uint32_t reportIntervalMs = 1;
  uint32_t latencyMs = 0;
  uint32_t jitterMs = 0;

  // Probabilities (0 to 1), drawn per report and direction: a report is lost,
  // or arrives twice. The draws come from generators seeded by `seed`, so the
  // same settings lose the same reports of the same traffic.
  double lossRate = 0.0;
  double duplicateRate = 0.0;
  uint32_t seed = 1;

  // Board model faults. The `faultyBlock`-th SendBlock (counted from 1 over
  // the installation's life) is answered with `faultyBlockStatus`.
  int32_t faultyBlock = kVirtualNever;
  uint8_t faultyBlockStatus = 0x01;
  VirtualDebugFault debugFault = VirtualDebugFault::None;
  // A command code the firmware reads but never answers; 0: answers all.
  uint8_t silentCommand = 0;

  // Host-side report faults: after this many reports were written (read),
  // every hid_write (hid_read_timeout) fails with -1.
  int32_t writeFailsAfter = kVirtualNever;
  int32_t readFailsAfter = kVirtualNever;
};

// Looks up one environment variable; null when it is not set.
using EnvironmentLookup = const char* (*)(const char* name);

// Settings from the KAVLO_VIRTUAL_* variables (docs/virtual-interface.md),
// starting from the defaults above. A value that does not parse leaves its
// setting at the default and is reported on standard error.
VirtualSettings VirtualSettingsFromEnvironment(EnvironmentLookup lookup = nullptr);
