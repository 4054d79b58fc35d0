#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/lock.h"
#include "virtual/virtual_interface.h"
#include "virtual/virtual_settings.h"

// The firmware of the virtual interface together with a small board behind
// it. It answers the command protocol, keeps the image records it receives,
// "boots" on the reboot record by queuing one line of debug output per image
// (its size and CRC-32), and echoes key blocks as debug output. Everything
// it receives is logged for tests to inspect.
class BoardModel final : public VirtualFirmware {
 public:
  explicit BoardModel(const VirtualSettings& settings);

  void Serve(TransportDevice& link) override;

  // A copy of the log, safe while a session runs.
  VirtualBoardLog Snapshot();

 private:
  // Each serves one command after its code was read; false when the link
  // was lost. `answer` false reads the command but sends nothing.
  bool ServeGetVersion(TransportDevice& link, bool answer);
  bool ServeSendBlock(TransportDevice& link, bool answer);
  bool ServeReadDebug(TransportDevice& link, bool answer);
  bool ServeSetDebugMode(TransportDevice& link, bool answer);

  // Acts on one block payload; returns its status byte.
  uint8_t TakeBlock(const std::vector<uint8_t>& payload);
  uint8_t TakeImage(const std::vector<uint8_t>& payload);
  uint8_t TakeKeys(const std::vector<uint8_t>& payload);
  void Boot();
  // With `lock` held: appends debug output, dropping the oldest beyond the
  // board's buffer.
  void QueueOutput(const uint8_t* bytes, size_t count);

  const VirtualSettings settings;
  Lock lock;  // guards everything below
  VirtualBoardLog log;
  std::deque<uint8_t> output;
  int32_t blocksSeen = 0;
};
