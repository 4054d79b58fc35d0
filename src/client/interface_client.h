#pragma once

#include <cstdint>

#include "hid/hidapi_layer.h"
#include "link/transport_host.h"
#include "platform/clock.h"

// The one object through which the front end reaches the interface: it owns
// the HID layer and the link for the whole run and performs each command of
// the interface protocol as one blocking call with fixed time limits.
class InterfaceClient {
 public:
  explicit InterfaceClient(Clock& clock = SystemClock());
  // Disconnects, then the HID layer closes the device.
  ~InterfaceClient();
  InterfaceClient(const InterfaceClient&) = delete;
  InterfaceClient& operator=(const InterfaceClient&) = delete;

  bool Connect();
  bool Disconnect();
  // `name` is null or a buffer of at least 64 bytes; on success it holds the
  // name and a terminating zero byte.
  bool GetVersion(uint8_t& major, uint8_t& minor, char* name);
  bool SendBlock(const uint8_t* payload, uint16_t length, int32_t limit);
  bool SetDebugMode(bool imagesUploaded);
  // `buffer` holds at least 256 bytes. Returns 1..256 bytes stored (no
  // terminator), 0 for no output, -2 for the interface's download time-out,
  // -1 for failure.
  int32_t ReadDebugOutput(uint8_t* buffer);

  // True when the last device search of Connect listed an interface with
  // one of the identities but could open none: typically the user lacks
  // permission on the device node.
  bool InterfaceListedButNotOpened() const { return listedButNotOpened; }

 private:
  bool SendAll(const uint8_t* data, uint32_t count, int32_t limit);
  bool ReceiveExact(uint8_t* buffer, uint32_t count, int32_t limit);
  bool OpenInterfaceDevice();
  void PrintTransferStatistics(uint16_t length, uint32_t startTime, uint32_t sentTime);

  HIDAPILayer hidLayer;
  TransportHost* transport = nullptr;
  Clock& clock;
  bool listedButNotOpened = false;
};
