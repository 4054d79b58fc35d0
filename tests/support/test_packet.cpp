#include "test_packet.h"

#include <cstdio>
#include <cstring>

RawPacket MakePacket(uint8_t seq, uint8_t ack, uint8_t flags,
                     std::initializer_list<uint8_t> payload) {
  RawPacket packet{};
  packet[0] = seq;
  packet[1] = ack;
  packet[2] = flags;
  size_t at = 3;
  for (uint8_t byte : payload) {
    if (at == packet.size()) break;
    packet[at++] = byte;
  }
  return packet;
}

RawPacket MakeDataPacket(uint8_t seq, uint8_t ack, const std::vector<uint8_t>& data) {
  RawPacket packet{};
  packet[0] = seq;
  packet[1] = ack;
  const size_t length = data.size() < kMaxPayload ? data.size() : kMaxPayload;
  packet[2] = static_cast<uint8_t>(length);
  if (length != 0) std::memcpy(&packet[3], data.data(), length);
  return packet;
}

PacketHeader HeaderOf(const RawPacket& packet) {
  return PacketHeader{packet[0], packet[1], packet[2], packet[3]};
}

PacketHeader HeaderOf(const LinkPacket& packet) {
  return PacketHeader{packet.seq, packet.ack, packet.flags, packet.payload[0]};
}

std::vector<PacketHeader> HeadersOf(const std::vector<RawPacket>& packets) {
  std::vector<PacketHeader> headers;
  headers.reserve(packets.size());
  for (const RawPacket& packet : packets) headers.push_back(HeaderOf(packet));
  return headers;
}

std::ostream& operator<<(std::ostream& out, const PacketHeader& header) {
  char text[32];
  std::snprintf(text, sizeof text, "%02X\xC2\xB7%02X\xC2\xB7%02X\xC2\xB7%02X", header.seq,
                header.ack, header.flags, header.byte3);
  return out << text;
}
