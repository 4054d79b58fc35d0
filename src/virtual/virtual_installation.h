#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/lock.h"
#include "virtual/board_model.h"
#include "virtual/virtual_device.h"
#include "virtual/virtual_interface.h"
#include "virtual/virtual_settings.h"

// An open handle of the virtual hidapi. Its device is null once the library
// was ended or the interface reinstalled under it: every call then fails.
struct hid_device_ {
  std::unique_ptr<VirtualDevice> device;
};

// The process's one virtual interface: what it lists, its firmware, and the
// handles open on it. Lives for the whole process and is never destroyed, so
// no exit-time destructor races a device that was never closed.
class VirtualInstallation {
 public:
  static VirtualInstallation& Instance();

  void Install(const VirtualSettings& settings, std::unique_ptr<VirtualFirmware> firmware);
  // Installs the environment's settings unless something was installed.
  void InstallFromEnvironmentOnce();

  // The listed nodes, in list order.
  std::vector<VirtualNode> Nodes();
  // A new handle on the node at `index`; null when there is no such node,
  // it is not openable, or a device is open already (the interface serves
  // one host at a time).
  hid_device_* Open(size_t index);
  // Stops the handle's device, joining its threads, and frees the handle.
  void Close(hid_device_* handle);
  // Stops every open device, joining its threads; the handles stay valid
  // until closed.
  void StopAll();

  VirtualBoardLog BoardSnapshot();

 private:
  VirtualInstallation() = default;
  // With `lock` held.
  void StopAllLocked();

  Lock lock;  // guards everything below
  bool installed = false;
  VirtualSettings settings;
  std::unique_ptr<VirtualFirmware> firmware;
  BoardModel* board = nullptr;  // the firmware, when it is the board model
  std::vector<hid_device_*> handles;
};
