#pragma once

#include <cstdint>

// The 64-byte unit of the link. Sequence numbers are unsigned 8-bit and all
// arithmetic on them wraps modulo 256.
struct LinkPacket {
  uint8_t seq;         // the sender's number for this packet
  uint8_t ack;         // the seq of the last packet the sender accepted
  uint8_t flags;       // payload length in bits 0-5, kFlagControl, kFlagRepeat
  uint8_t payload[61]; // data; in a control packet payload[0] is the code
};
static_assert(sizeof(LinkPacket) == 64, "a LinkPacket is exactly one 64-byte report");

constexpr uint8_t kFlagLengthMask = 0x3F;
constexpr uint8_t kFlagControl = 0x40;
constexpr uint8_t kFlagRepeat = 0x80;
constexpr uint8_t kMaxPayload = 61;

// Sequence numbers fixed by the handshake.
constexpr uint8_t kConnectRequestSeq = 0xFF;  // seq of the active open's ConnectRequest
constexpr uint8_t kConnectRequestAck = 0xCC;  // rxLastSeq (so ack) before anything was accepted
constexpr uint8_t kConnectAcceptSeq = 0x7F;   // seq of the passive open's ConnectAccept

enum class ControlCode : uint8_t {
  ConnectRequest = 1,
  ConnectAccept = 2,
  Reset = 5,
};

inline uint8_t PayloadLength(const LinkPacket& packet) { return packet.flags & kFlagLengthMask; }
inline bool IsControl(const LinkPacket& packet) { return (packet.flags & kFlagControl) != 0; }
inline bool IsRepeat(const LinkPacket& packet) { return (packet.flags & kFlagRepeat) != 0; }

// True for a control packet carrying the given code, whatever its length.
inline bool IsControlCode(const LinkPacket& packet, ControlCode code) {
  return IsControl(packet) && packet.payload[0] == static_cast<uint8_t>(code);
}

// The sequence number after / before `seq`, wrapping modulo 256.
inline uint8_t NextSeq(uint8_t seq) { return static_cast<uint8_t>(seq + 1u); }
inline uint8_t PreviousSeq(uint8_t seq) { return static_cast<uint8_t>(seq - 1u); }

inline const uint8_t* PacketBytes(const LinkPacket& packet) {
  return reinterpret_cast<const uint8_t*>(&packet);
}
inline uint8_t* PacketBytes(LinkPacket& packet) { return reinterpret_cast<uint8_t*>(&packet); }
