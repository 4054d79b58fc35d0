#include "virtual/virtual_device.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kReportId = 0;
constexpr size_t kOutputReportSize = 1 + kPacketSize;
constexpr int kFailed = -1;
constexpr int kNoWait = 0;
constexpr int kWaitWithoutLimit = -1;
// A write that finds the wire full this long gives up, like a USB write
// whose transfer times out.
constexpr uint32_t kWriteTimeoutMs = 1000;
constexpr uint32_t kPollMs = 1;
// Seeds of the two directions, derived from the one seed of the settings.
constexpr uint32_t kToHostSeedOffset = 0x9E3779B9u;

ChannelTiming TimingOf(const VirtualSettings& settings) {
  ChannelTiming timing;
  timing.intervalMs = settings.reportIntervalMs;
  timing.latencyMs = settings.latencyMs;
  timing.jitterMs = settings.jitterMs;
  timing.lossRate = settings.lossRate;
  timing.duplicateRate = settings.duplicateRate;
  return timing;
}

// True once `limit` reports have passed; kVirtualNever never.
bool FaultDue(int32_t limit, int32_t count) { return limit != kVirtualNever && count >= limit; }

}  // namespace

VirtualDevice::VirtualDevice(const VirtualSettings& settings, VirtualFirmware& firmware,
                             Clock& clock)
    : clock(clock),
      linkClock(clock, hostReport),
      writeFailsAfter(settings.writeFailsAfter),
      readFailsAfter(settings.readFailsAfter),
      toDevice(clock, TimingOf(settings), settings.seed, &hostReport),
      toHost(clock, TimingOf(settings), settings.seed + kToHostSeedOffset),
      port(toDevice, toHost),
      link(&port, linkClock, LinkWorker::Thread),
      firmware(firmware) {
  firmwareThread.Start(&VirtualDevice::FirmwareLoop, this);
}

VirtualDevice::~VirtualDevice() { Unplug(); }

void VirtualDevice::Unplug() {
  port.Unplug();
  if (firmwareThread.Started()) firmwareThread.Join();
}

// Accepts one host after the other. A finished session stays open until the
// host goes away: answers still on the wire are repeated until acknowledged,
// and the next host's ConnectRequest, or a Reset, ends it. Unplugging fails
// the port, which ends every wait.
uint32_t VirtualDevice::FirmwareLoop(void* parameter) {
  auto* device = static_cast<VirtualDevice*>(parameter);
  TransportDevice& link = device->link;
  while (!device->port.Unplugged()) {
    if (!link.Accept(kNoLimit)) continue;
    device->firmware.Serve(link);
    uint8_t surplus;
    while (link.Receive(&surplus, 1, kNoLimit) > 0) {
    }
  }
  return 0;
}

int VirtualDevice::WriteReport(const uint8_t* report, size_t length) {
  if (length != kOutputReportSize || report[0] != kReportId) return kFailed;
  if (FaultDue(writeFailsAfter, reportsWritten.load())) return kFailed;
  const uint32_t start = clock.Now();
  while (!toDevice.Offer(report + 1)) {
    if (port.Unplugged() || clock.Now() - start >= kWriteTimeoutMs) return kFailed;
    clock.Sleep(kPollMs);
  }
  reportsWritten.fetch_add(1);
  return static_cast<int>(kOutputReportSize);
}

int VirtualDevice::ReadReport(uint8_t* buffer, size_t length, int milliseconds) {
  if (port.Unplugged()) return kFailed;
  if (FaultDue(readFailsAfter, reportsRead.load())) return kFailed;
  const uint32_t start = clock.Now();
  uint8_t packet[kPacketSize];
  while (!toHost.Take(packet)) {
    if (milliseconds == kNoWait) return 0;
    if (milliseconds != kWaitWithoutLimit &&
        clock.Now() - start >= static_cast<uint32_t>(milliseconds)) {
      return 0;
    }
    if (port.Unplugged()) return kFailed;
    clock.Sleep(kPollMs);
  }
  reportsRead.fetch_add(1);
  const size_t copied = std::min(length, static_cast<size_t>(kPacketSize));
  std::memcpy(buffer, packet, copied);
  return static_cast<int>(copied);
}
