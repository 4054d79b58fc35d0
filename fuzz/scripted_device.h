#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "link_probe.h"
#include "platform/clock.h"

// What the interface does next, once the host has sent it more bytes.
struct DeviceAction {
  enum class Kind {
    Answer,          // send `bytes` to the host
    DropLink,        // the interface's link gives up: the host's next packet gets a Reset
    FailHostReads,   // from now on every hid_read_timeout of the host fails
    FailHostWrites,  // from now on every hid_write of the host fails
  };
  Kind kind = Kind::Answer;
  std::vector<uint8_t> bytes;
};

// An interface device behind the hid_* functions of this executable, for
// fuzzing the client: a responding link stepped by hand whenever the host's
// worker reads or writes a report, and a firmware that plays one scripted
// action each time the host's bytes arrive, while recording those bytes.
//
// The device lives from hid_open_path to hid_close; Install prepares the
// next one.
class ScriptedDevice {
 public:
  explicit ScriptedDevice(Clock& clock) : clock_(clock) {}

  // Called by hid_open_path, on the application thread.
  void Open();
  // Called by hid_close, once the host's worker is gone.
  void Close();

  // The host's side of the wire, called by its worker thread.
  int HostWrite(const uint8_t* report, size_t length);
  int HostRead(uint8_t* buffer, size_t length);

  void SetScript(std::deque<DeviceAction> script) { script_ = std::move(script); }
  // Every byte the host sent over the link, in order.
  const std::vector<uint8_t>& Received() const { return received_; }
  // The tick of the last packet written by either side.
  uint32_t LastActivity() const { return lastActivity_.load(); }

 private:
  // The device's end of the wire.
  class DeviceEnd final : public PacketLayer {
   public:
    explicit DeviceEnd(ScriptedDevice& device) : device_(device) {}
    int32_t Write(const uint8_t* packet) override;
    int32_t Read(uint8_t* buffer) override;

   private:
    ScriptedDevice& device_;
  };

  // One step of the device: its link, then its firmware.
  void Step();
  void RunFirmware();

  Clock& clock_;
  DeviceEnd end_{*this};
  std::unique_ptr<DeviceProbe> link_;
  std::deque<std::array<uint8_t, 64>> toDevice_;
  std::deque<std::array<uint8_t, 64>> toHost_;
  std::deque<DeviceAction> script_;
  std::vector<uint8_t> pending_;  // answer bytes not yet queued on the link
  std::vector<uint8_t> received_;
  bool hostReadsFail_ = false;
  bool hostWritesFail_ = false;
  std::atomic<uint32_t> lastActivity_{0};
};

// The device that this executable's hid_* functions present.
ScriptedDevice& TheScriptedDevice();
