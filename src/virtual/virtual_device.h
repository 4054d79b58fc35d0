#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/clock.h"
#include "platform/thread.h"
#include "virtual/device_port.h"
#include "virtual/packet_channel.h"
#include "virtual/transport_device.h"
#include "virtual/virtual_interface.h"
#include "virtual/virtual_settings.h"

// One opened virtual interface: the wire in both directions, the device's
// link with its worker thread, and the firmware thread that accepts one host
// session after the other and lets the firmware serve it. The host side is
// the report interface behind hid_write and hid_read_timeout.
class VirtualDevice {
 public:
  // Starts the link's worker and the firmware thread. The firmware must
  // outlive the device, or at least its Unplug.
  VirtualDevice(const VirtualSettings& settings, VirtualFirmware& firmware,
                Clock& clock = SystemClock());
  // Unplugs, then joins every thread the device started.
  ~VirtualDevice();
  VirtualDevice(const VirtualDevice&) = delete;
  VirtualDevice& operator=(const VirtualDevice&) = delete;

  // An output report: 65 bytes, report ID 0 then the packet. Waits while the
  // wire is busy, as a USB write does. 65 when written; -1 for any other
  // framing, a full wire that stays full, an unplugged device or the
  // write fault.
  int WriteReport(const uint8_t* report, size_t length);
  // One input report's packet, without a report ID, cut to `length`. Waits
  // up to `milliseconds` (0: not at all, -1: without limit). The number of
  // bytes copied, 0 when nothing arrived, -1 when unplugged or for the read
  // fault.
  int ReadReport(uint8_t* buffer, size_t length, int milliseconds);

  // Stops the firmware and the link; later reports fail. Idempotent.
  void Unplug();

 private:
  static uint32_t FirmwareLoop(void* parameter);

  // The device link's time: the device's clock, except that the worker's
  // sleep between steps ends as soon as a report from the host is on the
  // wire, so the device answers within the host's next poll, as firmware
  // answering in the USB frame after the transfer would.
  class HostReportClock final : public Clock {
   public:
    HostReportClock(Clock& base, Event& hostReport) : base(base), hostReport(hostReport) {}
    uint32_t Now() override { return base.Now(); }
    void Sleep(uint32_t milliseconds) override {
      base.WaitFor(hostReport, milliseconds);
      hostReport.Reset();
    }
    bool WaitFor(Event& event, uint32_t milliseconds) override {
      return base.WaitFor(event, milliseconds);
    }

   private:
    Clock& base;
    Event& hostReport;
  };

  Clock& clock;
  Event hostReport;
  HostReportClock linkClock;
  const int32_t writeFailsAfter;
  const int32_t readFailsAfter;
  std::atomic<int32_t> reportsWritten{0};
  std::atomic<int32_t> reportsRead{0};

  PacketChannel toDevice;
  PacketChannel toHost;
  DevicePort port;
  TransportDevice link;
  VirtualFirmware& firmware;
  Thread firmwareThread;
};
