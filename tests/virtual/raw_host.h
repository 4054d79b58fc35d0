#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "hid/hidapi_layer.h"
#include "link/transport_host.h"
#include "virtual/virtual_settings.h"

// A host at the level of raw command bytes: the HID layer over the virtual
// hidapi and a link on it, with nothing of the interface client in between.
class RawHost {
 public:
  // Wait for an answer byte that should come.
  static constexpr int32_t kAnswerLimitMs = 5000;

  // True when a device of the identity was listed and opened.
  bool Open(const DeviceMatch& identity = kVirtualPrimaryIdentity) {
    if (!layer.Open(identity) || !layer.IsOpen()) return false;
    NewLink();
    return true;
  }
  // A fresh link on the open device, the previous one dropped without a word.
  void NewLink() { link = std::make_unique<TransportHost>(&layer); }
  bool Connect() { return link->Connect(); }

  bool Send(const std::vector<uint8_t>& bytes) {
    uint32_t sent = 0;
    while (sent < bytes.size()) {
      const int32_t result = link->Send(bytes.data() + sent,
                                        static_cast<uint32_t>(bytes.size() - sent), kAnswerLimitMs);
      if (result <= 0) return false;
      sent += static_cast<uint32_t>(result);
    }
    return true;
  }
  // The bytes that arrived within the limit, at most `count`.
  std::vector<uint8_t> Receive(uint32_t count, int32_t limit = kAnswerLimitMs) {
    std::vector<uint8_t> bytes(count);
    const int32_t result = count == 0 ? 0 : link->Receive(bytes.data(), count, limit);
    bytes.resize(result > 0 ? static_cast<size_t>(result) : 0);
    return bytes;
  }
  // One command and the first `answerSize` bytes of its answer.
  std::vector<uint8_t> Exchange(const std::vector<uint8_t>& command, uint32_t answerSize,
                                int32_t limit = kAnswerLimitMs) {
    if (!Send(command)) return {};
    return Receive(answerSize, limit);
  }
  // A whole SendBlock exchange; the status byte, or -1 when an answer is
  // missing or BlockReady is not.
  int SendBlock(const std::vector<uint8_t>& payload) {
    const auto length = static_cast<uint16_t>(payload.size());
    const std::vector<uint8_t> ready =
        Exchange({0x02, static_cast<uint8_t>(length & 0xFF), static_cast<uint8_t>(length >> 8)}, 1);
    if (ready != std::vector<uint8_t>{0x03}) return -1;
    const std::vector<uint8_t> status = Exchange(payload, 1);
    return status.size() == 1 ? status[0] : -1;
  }
  // One ReadDebug; the answer's data, after checking its head is DebugData.
  std::vector<uint8_t> ReadDebug() {
    const std::vector<uint8_t> head = Exchange({0x03, 0x00, 0x01}, 3);
    if (head.size() != 3 || head[0] != 0x05) return {0xEE};
    return Receive(static_cast<uint32_t>(head[1] | (head[2] << 8)));
  }

  HIDAPILayer layer;                     // declared first: outlives the link
  std::unique_ptr<TransportHost> link;
};
