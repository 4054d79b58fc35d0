#include "client/interface_client.h"

#include <cstdio>

#include "client/command_protocol.h"

namespace {

uint8_t LowByte(uint16_t value) { return static_cast<uint8_t>(value & 0xFFu); }
uint8_t HighByte(uint16_t value) { return static_cast<uint8_t>(value >> 8); }
uint16_t LittleEndian16(uint8_t low, uint8_t high) {
  return static_cast<uint16_t>(low | (high << 8));
}

}  // namespace

InterfaceClient::InterfaceClient(Clock& clock) : clock(clock) {}

InterfaceClient::~InterfaceClient() { Disconnect(); }

// Queues every byte, advancing by whatever each Send took. Fails as soon as
// one Send queues nothing within the limit or finds the link down. A count
// of 0 succeeds without touching the link.
bool InterfaceClient::SendAll(const uint8_t* data, uint32_t count, int32_t limit) {
  while (count > 0) {
    if (transport == nullptr) return false;
    const int32_t sent = transport->Send(data, count, limit);
    if (sent <= 0) return false;
    data += sent;
    count -= static_cast<uint32_t>(sent);
  }
  return true;
}

// Takes exactly `count` bytes. The limit is both the wait of one Receive and
// the idle limit counted from the start or from the last Receive that
// brought bytes: only a silence longer than the limit fails, so a Receive
// that comes back empty exactly at the limit is followed by another. A limit
// of kNoLimit waits as long as the link is up.
bool InterfaceClient::ReceiveExact(uint8_t* buffer, uint32_t count, int32_t limit) {
  uint32_t lastProgress = clock.Now();
  while (count > 0) {
    if (transport == nullptr) return false;
    const int32_t received = transport->Receive(buffer, count, limit);
    if (received < 0) return false;
    if (received > 0) {
      buffer += received;
      count -= static_cast<uint32_t>(received);
      lastProgress = clock.Now();
    } else if (limit != kNoLimit && clock.Now() - lastProgress > static_cast<uint32_t>(limit)) {
      return false;
    }
  }
  return true;
}

// Opens the interface by the first identity that is listed and opens; an
// identity that is listed but cannot be opened falls through to the next.
// A device still open from an earlier link is reused, never lost.
bool InterfaceClient::OpenInterfaceDevice() {
  if (hidLayer.IsOpen()) return true;
  listedButNotOpened = false;
  for (const DeviceMatch& identity : kInterfaceIdentities) {
    if (!hidLayer.Open(identity)) continue;
    if (hidLayer.IsOpen()) {
      listedButNotOpened = false;
      return true;
    }
    listedButNotOpened = true;
  }
  return false;
}

// Finds the device and opens the link. The link object is kept even when
// its handshake fails, so that a later Connect retries only the handshake;
// when no device opens, no link is created at all.
bool InterfaceClient::Connect() {
  if (transport != nullptr) return transport->Connect();
  if (!OpenInterfaceDevice()) return false;
  transport = new TransportHost(&hidLayer, clock);
  return transport->Connect();
}

// Says goodbye while the link is up and then deletes the link whatever the
// answer was. True only when the interface acknowledged with StatusOk.
bool InterfaceClient::Disconnect() {
  if (transport == nullptr) return false;
  const uint8_t goodbye = kCommandDisconnect;
  uint8_t status = 0;
  const bool acknowledged = SendAll(&goodbye, 1, kDisconnectLimitMs) &&
                            ReceiveExact(&status, 1, kDisconnectLimitMs) && status == kStatusOk;
  delete transport;
  transport = nullptr;
  return acknowledged;
}

// Asks for the firmware version. A name longer than 63 bytes fails the
// command before the name is read and before anything is stored; the name
// goes straight into the caller's buffer, or is read and dropped when there
// is none.
bool InterfaceClient::GetVersion(uint8_t& major, uint8_t& minor, char* name) {
  const uint8_t command = kCommandGetVersion;
  if (!SendAll(&command, 1, kGetVersionLimitMs)) return false;

  uint8_t tag = 0;
  if (!ReceiveExact(&tag, 1, kGetVersionLimitMs) || tag != kAnswerVersionReply) return false;

  uint8_t head[kVersionHeadSize];
  if (!ReceiveExact(head, kVersionHeadSize, kGetVersionLimitMs)) return false;
  const uint8_t nameLength = head[2];
  if (nameLength > kMaxVersionNameLength) return false;
  major = head[0];
  minor = head[1];

  uint8_t dropped[kVersionNameBufferSize];
  uint8_t* destination = name != nullptr ? reinterpret_cast<uint8_t*>(name) : dropped;
  if (!ReceiveExact(destination, nameLength, kGetVersionLimitMs)) return false;
  destination[nameLength] = 0;
  return true;
}

// Sends one data block: the header, then, once the interface is ready, the
// payload straight from the caller's memory. True when the interface
// answered the payload with StatusOk; statistics are printed only then and
// only for blocks of 256 bytes or more.
bool InterfaceClient::SendBlock(const uint8_t* payload, uint16_t length, int32_t limit) {
  const uint8_t header[kSendBlockHeaderSize] = {kCommandSendBlock, LowByte(length),
                                                HighByte(length)};
  if (!SendAll(header, kSendBlockHeaderSize, limit)) return false;

  uint8_t ready = 0;
  if (!ReceiveExact(&ready, 1, limit) || ready != kAnswerBlockReady) return false;

  const uint32_t startTime = clock.Now();
  if (!SendAll(payload, length, limit)) return false;
  const uint32_t sentTime = clock.Now();

  uint8_t status = 0;
  if (!ReceiveExact(&status, 1, limit) || status != kStatusOk) return false;

  if (length >= kStatisticsMinimumLength) PrintTransferStatistics(length, startTime, sentTime);
  return true;
}

// Prints how long the payload took: the total time up to the status byte,
// the time until the link had queued the last byte, and the average rate
// over the total time when that is not zero.
void InterfaceClient::PrintTransferStatistics(uint16_t length, uint32_t startTime,
                                              uint32_t sentTime) {
  const uint32_t endTime = clock.Now();
  const uint32_t totalTime = endTime - startTime;
  const uint32_t sendTime = sentTime - startTime;
  std::printf("\nTransfer time: %u ms (send time: %u ms)", static_cast<unsigned>(totalTime),
              static_cast<unsigned>(sendTime));
  if (totalTime != 0) {
    const uint32_t average = static_cast<uint32_t>(length) * 1000u / totalTime;
    std::printf("; Average: %u bytes/second.", static_cast<unsigned>(average));
  }
  std::printf("\n");
}

// Chooses the interface's debug output mode; bit 7 tells it that images
// were uploaded and a reboot record follows.
bool InterfaceClient::SetDebugMode(bool imagesUploaded) {
  const uint8_t mode =
      imagesUploaded ? static_cast<uint8_t>(kDebugModeOutput | kDebugModeImagesUploaded)
                     : kDebugModeOutput;
  const uint8_t command[kSetDebugModeSize] = {kCommandSetDebugMode, mode};
  if (!SendAll(command, kSetDebugModeSize, kSetDebugModeLimitMs)) return false;
  uint8_t status = 0;
  return ReceiveExact(&status, 1, kSetDebugModeLimitMs) && status == kStatusOk;
}

// Fetches at most 256 bytes of the board's debug output into the buffer,
// without a terminator. A malformed answer leaves the stream out of step
// with no way to find the next message, so it aborts the link; a failed
// send or receive leaves the link as it was.
int32_t InterfaceClient::ReadDebugOutput(uint8_t* buffer) {
  const uint8_t request[kReadDebugSize] = {kCommandReadDebug, LowByte(kDebugOutputMaximum),
                                           HighByte(kDebugOutputMaximum)};
  if (!SendAll(request, kReadDebugSize, kReadDebugLimitMs)) return -1;

  uint8_t head[kDebugHeadSize];
  if (!ReceiveExact(head, kDebugHeadSize, kReadDebugLimitMs)) return -1;
  const uint8_t tag = head[0];
  const uint16_t length = LittleEndian16(head[1], head[2]);

  switch (tag) {
    case kAnswerDebugTimeout:
      if (length == 0) return -2;
      break;
    case kAnswerDebugData:
      if (length > kDebugOutputMaximum) break;
      if (length == 0) return 0;
      if (!ReceiveExact(buffer, length, kReadDebugLimitMs)) return -1;
      return length;
    default:
      break;
  }
  transport->Abort();
  return -1;
}
