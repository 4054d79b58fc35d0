#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "virtual/transport_device.h"
#include "virtual/virtual_settings.h"

// The interface's firmware: serves one link session at a time.
class VirtualFirmware {
 public:
  virtual ~VirtualFirmware() = default;
  // Called on the firmware thread once a host has opened the link; returns
  // when the link is lost (a link call gave -1) or after answering
  // Disconnect. Reads commands with link.Receive and answers with link.Send.
  // When the virtual device closes, its link fails, so every waiting link
  // call returns -1 and Serve must then return.
  virtual void Serve(TransportDevice& link) = 0;
};

// Installs the virtual device that the hid_* functions present from the next
// hid_enumerate / hid_open_path on. A null firmware means the board model.
// Call it while no virtual device is open. Without any call, the first
// hid_init (or hid_enumerate) installs the settings from the environment.
void InstallVirtualInterface(const VirtualSettings& settings,
                             std::unique_ptr<VirtualFirmware> firmware = nullptr);

// One image record the board model kept.
struct VirtualImage {
  uint8_t kind = 0;            // 0x03 first image, 0x04 next image
  std::vector<uint8_t> bytes;  // the image, without the record's three bytes
};

// What the board model received since the installation.
struct VirtualBoardLog {
  std::vector<std::vector<uint8_t>> blocks;  // every block payload, in order
  std::vector<VirtualImage> images;          // kept images: first, then next
  uint32_t reboots = 0;                      // reboot records
  std::vector<uint8_t> keys;                 // key codes of all key blocks
  std::vector<uint8_t> debugModes;           // modes of SetDebugMode, in order
  uint32_t sessions = 0;                     // link sessions served
  uint32_t disconnects = 0;                  // Disconnect commands answered
};

// A copy of the board model's log; empty when a scripted firmware runs.
VirtualBoardLog VirtualBoardSnapshot();
