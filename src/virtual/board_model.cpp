#include "virtual/board_model.h"

#include <algorithm>
#include <cstdio>

#include "client/command_protocol.h"
#include "virtual/crc32.h"

namespace {

// The status the board gives a block it refuses.
constexpr uint8_t kStatusRejected = 0x01;
// The first tag that means nothing in the protocol, for the wrong-tag fault.
constexpr uint8_t kUndefinedTag = 0x06;
// The mode byte of SetDebugMode after images were uploaded.
constexpr uint8_t kModeAfterImages = kDebugModeOutput | kDebugModeImagesUploaded;

// The announced length of the over-long fault answer.
constexpr uint16_t kOverLongLength = kDebugOutputMaximum + 1;
constexpr uint8_t kOverLongFill = '?';
// The length of the faulty DebugTimeout, which must be 0.
constexpr uint16_t kFaultyTimeoutLength = 1;
// Debug output the board buffers before it drops the oldest.
constexpr size_t kOutputBufferSize = 65536;
constexpr size_t kMaxNameLength = 255;

uint8_t Low(uint16_t value) { return static_cast<uint8_t>(value & 0xFF); }
uint8_t High(uint16_t value) { return static_cast<uint8_t>(value >> 8); }

bool ReceiveAll(TransportDevice& link, uint8_t* buffer, uint32_t count) {
  return count == 0 || link.Receive(buffer, count, kNoLimit) == static_cast<int32_t>(count);
}

bool SendAll(TransportDevice& link, const uint8_t* data, uint32_t count) {
  while (count > 0) {
    const int32_t sent = link.Send(data, count, kNoLimit);
    if (sent <= 0) return false;
    data += sent;
    count -= static_cast<uint32_t>(sent);
  }
  return true;
}

bool IsKey(uint8_t code) {
  return code == kKeyBackspace || code == kKeyTab || code == kKeyEnter ||
         (code >= kKeyPrintableFirst && code <= kKeyPrintableLast);
}

}  // namespace

BoardModel::BoardModel(const VirtualSettings& settings) : settings(settings) {}

// Commands are served strictly one after the other. A code the firmware does
// not know is dropped unanswered, byte by byte, as the host sends none.
void BoardModel::Serve(TransportDevice& link) {
  {
    LockGuard guard(lock);
    log.sessions += 1;
  }
  for (;;) {
    uint8_t code;
    if (!ReceiveAll(link, &code, 1)) return;
    const bool answer = settings.silentCommand == 0 || code != settings.silentCommand;
    bool linkUp = true;
    switch (code) {
      case kCommandGetVersion:
        linkUp = ServeGetVersion(link, answer);
        break;
      case kCommandSendBlock:
        linkUp = ServeSendBlock(link, answer);
        break;
      case kCommandReadDebug:
        linkUp = ServeReadDebug(link, answer);
        break;
      case kCommandSetDebugMode:
        linkUp = ServeSetDebugMode(link, answer);
        break;
      case kCommandDisconnect:
        if (!answer) break;
        {
          LockGuard guard(lock);
          log.disconnects += 1;
        }
        SendAll(link, &kStatusOk, 1);
        return;
      default:
        break;
    }
    if (!linkUp) return;
  }
}

bool BoardModel::ServeGetVersion(TransportDevice& link, bool answer) {
  if (!answer) return true;
  const size_t nameLength = std::min(settings.name.size(), kMaxNameLength);
  std::vector<uint8_t> reply{kAnswerVersionReply, settings.versionMajor, settings.versionMinor,
                             static_cast<uint8_t>(nameLength)};
  reply.insert(reply.end(), settings.name.begin(), settings.name.begin() + nameLength);
  return SendAll(link, reply.data(), static_cast<uint32_t>(reply.size()));
}

// An unanswered header leaves the payload unread: the host, which waits for
// BlockReady in vain, sends none.
bool BoardModel::ServeSendBlock(TransportDevice& link, bool answer) {
  uint8_t length[2];
  if (!ReceiveAll(link, length, 2)) return false;
  if (!answer) return true;
  if (!SendAll(link, &kAnswerBlockReady, 1)) return false;

  std::vector<uint8_t> payload(static_cast<size_t>(length[0] | (length[1] << 8)));
  if (!ReceiveAll(link, payload.data(), static_cast<uint32_t>(payload.size()))) return false;
  const uint8_t status = TakeBlock(payload);
  return SendAll(link, &status, 1);
}

bool BoardModel::ServeReadDebug(TransportDevice& link, bool answer) {
  uint8_t maximum[2];
  if (!ReceiveAll(link, maximum, 2)) return false;
  if (!answer) return true;

  std::vector<uint8_t> reply;
  switch (settings.debugFault) {
    case VirtualDebugFault::Timeout:
      reply = {kAnswerDebugTimeout, 0, 0};
      break;
    case VirtualDebugFault::TimeoutWithLength:
      reply = {kAnswerDebugTimeout, Low(kFaultyTimeoutLength), High(kFaultyTimeoutLength)};
      break;
    case VirtualDebugFault::WrongTag:
      reply = {kUndefinedTag, 0, 0};
      break;
    case VirtualDebugFault::OverLong:
      reply = {kAnswerDebugData, Low(kOverLongLength), High(kOverLongLength)};
      reply.insert(reply.end(), kOverLongLength, kOverLongFill);
      break;
    case VirtualDebugFault::None: {
      const uint16_t wanted = static_cast<uint16_t>(maximum[0] | (maximum[1] << 8));
      LockGuard guard(lock);
      const uint16_t count = static_cast<uint16_t>(
          std::min<size_t>({output.size(), wanted, static_cast<size_t>(kDebugOutputMaximum)}));
      reply = {kAnswerDebugData, Low(count), High(count)};
      reply.insert(reply.end(), output.begin(), output.begin() + count);
      output.erase(output.begin(), output.begin() + count);
      break;
    }
  }
  return SendAll(link, reply.data(), static_cast<uint32_t>(reply.size()));
}

bool BoardModel::ServeSetDebugMode(TransportDevice& link, bool answer) {
  uint8_t mode;
  if (!ReceiveAll(link, &mode, 1)) return false;
  {
    LockGuard guard(lock);
    log.debugModes.push_back(mode);
  }
  if (!answer) return true;
  const uint8_t status = mode == kDebugModeOutput || mode == kModeAfterImages ? kStatusOk
                                                                        : kStatusRejected;
  return SendAll(link, &status, 1);
}

// The first byte tells the record apart. An empty block has nothing to do
// and succeeds; a payload of no known kind is rejected.
uint8_t BoardModel::TakeBlock(const std::vector<uint8_t>& payload) {
  int32_t number;
  {
    LockGuard guard(lock);
    log.blocks.push_back(payload);
    number = ++blocksSeen;
  }
  uint8_t status = kStatusOk;
  if (!payload.empty()) {
    const uint8_t kind = payload[0];
    if (kind == kRecordFirstImage || kind == kRecordNextImage) {
      status = TakeImage(payload);
    } else if (kind == kRecordReboot && payload.size() == 1) {
      Boot();
    } else {
      status = TakeKeys(payload);
    }
  }
  if (number == settings.faultyBlock) status = settings.faultyBlockStatus;
  return status;
}

// A first image starts a new set; a next image follows the first.
uint8_t BoardModel::TakeImage(const std::vector<uint8_t>& payload) {
  if (payload.size() < kImageRecordHeaderSize) return kStatusRejected;
  const size_t size = static_cast<size_t>((payload[1] << 8) | payload[2]);
  if (size > kMaxImageSize || payload.size() != size + kImageRecordHeaderSize) return kStatusRejected;

  VirtualImage image;
  image.kind = payload[0];
  image.bytes.assign(payload.begin() + kImageRecordHeaderSize, payload.end());
  LockGuard guard(lock);
  if (image.kind == kRecordFirstImage) {
    log.images.clear();
  } else if (log.images.size() > 1) {
    log.images.resize(1);
  }
  log.images.push_back(std::move(image));
  return kStatusOk;
}

// Keys come back as debug output, so a console shows what was typed.
uint8_t BoardModel::TakeKeys(const std::vector<uint8_t>& payload) {
  if (payload.size() > kMaxKeyBlockLength || !std::all_of(payload.begin(), payload.end(), IsKey)) {
    return kStatusRejected;
  }
  LockGuard guard(lock);
  log.keys.insert(log.keys.end(), payload.begin(), payload.end());
  QueueOutput(payload.data(), payload.size());
  return kStatusOk;
}

// The boot report: "Booting 2 images\n", then per kept image
// "Image 1: 1000 bytes, CRC-32 0x1A2B3C4D\n".
void BoardModel::Boot() {
  LockGuard guard(lock);
  log.reboots += 1;
  char line[96];
  const size_t count = log.images.size();
  int length = std::snprintf(line, sizeof line, "Booting %zu image%s\n", count,
                             count == 1 ? "" : "s");
  QueueOutput(reinterpret_cast<const uint8_t*>(line), static_cast<size_t>(length));
  for (size_t i = 0; i < count; ++i) {
    const std::vector<uint8_t>& bytes = log.images[i].bytes;
    length = std::snprintf(line, sizeof line, "Image %zu: %zu bytes, CRC-32 0x%08X\n", i + 1,
                           bytes.size(), static_cast<unsigned>(Crc32(bytes.data(), bytes.size())));
    QueueOutput(reinterpret_cast<const uint8_t*>(line), static_cast<size_t>(length));
  }
}

void BoardModel::QueueOutput(const uint8_t* bytes, size_t count) {
  output.insert(output.end(), bytes, bytes + count);
  if (output.size() > kOutputBufferSize) {
    output.erase(output.begin(), output.begin() + (output.size() - kOutputBufferSize));
  }
}

VirtualBoardLog BoardModel::Snapshot() {
  LockGuard guard(lock);
  return log;
}
