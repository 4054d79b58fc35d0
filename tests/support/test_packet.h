#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include "link/link_packet.h"

// One 64-byte packet as it crosses a PacketLayer.
using RawPacket = std::array<uint8_t, 64>;

// A packet written as `seq ack flags byte3...`: the payload list starts at
// byte 3 (a control code or the first data byte); every other byte is 0.
RawPacket MakePacket(uint8_t seq, uint8_t ack, uint8_t flags,
                     std::initializer_list<uint8_t> payload = {});
// A data packet whose length bits are the size of `data`.
RawPacket MakeDataPacket(uint8_t seq, uint8_t ack, const std::vector<uint8_t>& data);

// The first four bytes, the part of a packet the tables compare.
struct PacketHeader {
  uint8_t seq;
  uint8_t ack;
  uint8_t flags;
  uint8_t byte3;

  bool operator==(const PacketHeader& other) const {
    return seq == other.seq && ack == other.ack && flags == other.flags && byte3 == other.byte3;
  }
  bool operator!=(const PacketHeader& other) const { return !(*this == other); }
};
PacketHeader HeaderOf(const RawPacket& packet);
PacketHeader HeaderOf(const LinkPacket& packet);
std::vector<PacketHeader> HeadersOf(const std::vector<RawPacket>& packets);

// Prints as FF·CC·40·01 so failures read like the protocol tables.
std::ostream& operator<<(std::ostream& out, const PacketHeader& header);
