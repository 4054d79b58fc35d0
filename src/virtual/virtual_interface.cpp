#include "virtual/virtual_interface.h"

#include <algorithm>

#include "virtual/virtual_installation.h"

VirtualInstallation& VirtualInstallation::Instance() {
  static VirtualInstallation* const installation = new VirtualInstallation;
  return *installation;
}

// Devices still open run the old firmware: they are stopped first, so the
// firmware is no longer in use when it is replaced.
void VirtualInstallation::Install(const VirtualSettings& newSettings,
                                  std::unique_ptr<VirtualFirmware> newFirmware) {
  LockGuard guard(lock);
  StopAllLocked();
  settings = newSettings;
  board = nullptr;
  if (newFirmware == nullptr) {
    auto model = std::make_unique<BoardModel>(settings);
    board = model.get();
    newFirmware = std::move(model);
  }
  firmware = std::move(newFirmware);
  installed = true;
}

void VirtualInstallation::InstallFromEnvironmentOnce() {
  {
    LockGuard guard(lock);
    if (installed) return;
  }
  const VirtualSettings fromEnvironment = VirtualSettingsFromEnvironment();
  LockGuard guard(lock);
  if (installed) return;
  settings = fromEnvironment;
  auto model = std::make_unique<BoardModel>(settings);
  board = model.get();
  firmware = std::move(model);
  installed = true;
}

std::vector<VirtualNode> VirtualInstallation::Nodes() {
  LockGuard guard(lock);
  return settings.nodes;
}

hid_device_* VirtualInstallation::Open(size_t index) {
  LockGuard guard(lock);
  if (!installed || index >= settings.nodes.size() || !settings.nodes[index].openable) {
    return nullptr;
  }
  const bool busy = std::any_of(handles.begin(), handles.end(), [](const hid_device_* handle) {
    return handle->device != nullptr;
  });
  if (busy) return nullptr;
  auto* handle = new hid_device_;
  handle->device = std::make_unique<VirtualDevice>(settings, *firmware);
  handles.push_back(handle);
  return handle;
}

void VirtualInstallation::Close(hid_device_* handle) {
  LockGuard guard(lock);
  const auto found = std::find(handles.begin(), handles.end(), handle);
  if (found == handles.end()) return;
  handles.erase(found);
  delete handle;
}

void VirtualInstallation::StopAll() {
  LockGuard guard(lock);
  StopAllLocked();
}

void VirtualInstallation::StopAllLocked() {
  for (hid_device_* handle : handles) handle->device.reset();
}

VirtualBoardLog VirtualInstallation::BoardSnapshot() {
  LockGuard guard(lock);
  return board != nullptr ? board->Snapshot() : VirtualBoardLog{};
}

void InstallVirtualInterface(const VirtualSettings& settings,
                             std::unique_ptr<VirtualFirmware> firmware) {
  VirtualInstallation::Instance().Install(settings, std::move(firmware));
}

VirtualBoardLog VirtualBoardSnapshot() { return VirtualInstallation::Instance().BoardSnapshot(); }
