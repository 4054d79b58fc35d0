#pragma once

#include <cstdint>

#include "link/link_packet.h"

// A fixed ring of four packets. The occupied slots are the `count` slots that
// start at `readIndex`, oldest first; `writeIndex` is always
// (readIndex + count) mod 4. Packets are built or read in place and the
// indices move; a packet is never copied from slot to slot.
struct LinkRing {
  static constexpr uint32_t kSlots = 4;

  LinkPacket slots[kSlots];
  uint32_t writeIndex = 0;
  uint32_t readIndex = 0;
  uint32_t count = 0;

  bool Full() const { return count == kSlots; }
  bool Empty() const { return count == 0; }

  // The oldest occupied slot.
  LinkPacket& Head() { return slots[readIndex]; }
  // The free slot where the next packet is built or read.
  LinkPacket& WriteSlot() { return slots[writeIndex]; }
  // The newest occupied slot (the one just before writeIndex).
  LinkPacket& Tail() { return slots[(writeIndex + kSlots - 1) % kSlots]; }

  // Occupies the slot at writeIndex. Only used when the ring is not full.
  void CommitSlot() {
    count += 1;
    writeIndex = (writeIndex + 1) % kSlots;
  }
  // Frees the slot at readIndex. Only used when the ring is not empty.
  void ReleaseSlot() {
    count -= 1;
    readIndex = (readIndex + 1) % kSlots;
  }
  // Forgets every packet; slot contents are left alone.
  void Clear() {
    count = 0;
    writeIndex = 0;
    readIndex = 0;
  }
};
