#include <algorithm>
#include <cstring>

#include "link/transport_base.h"

namespace {
// The most one call moves, so that its count always fits the signed result.
constexpr uint32_t kMaxTransfer = 0x7FFFFFFFu;
}  // namespace

// The frame shared by Send and Receive: marks the call as the waiter, lets
// `moveBytes(done, remaining)` move what it can, and waits for the worker
// until every byte has moved, the limit over the whole call has run out or
// the link has left Connected.
template <typename MoveBytes>
int32_t TransportBase::Transfer(WaiterKind kind, uint32_t count, int32_t limit,
                                MoveBytes moveBytes) {
  if (count == 0) return 0;
  count = std::min(count, kMaxTransfer);
  LockGuard guard(lock);
  waiter = kind;
  if (state != LinkState::Connected) {
    waiter = WaiterKind::None;
    return -1;
  }
  const uint32_t start = clock.Now();
  uint32_t remaining = count;
  for (;;) {
    remaining -= moveBytes(count - remaining, remaining);
    if (remaining == 0 || !WaitForProgress(start, limit)) break;
  }
  waiter = WaiterKind::None;
  return TransferResult(count, remaining);
}

// Queues as much as fits now, then waits for the worker to free slots until
// everything is queued, the limit runs out or the link goes down. Returns
// once the bytes are queued; acknowledgements are not awaited.
int32_t TransportBase::Send(const uint8_t* data, uint32_t count, int32_t limit) {
  return Transfer(WaiterKind::Send, count, limit, [&](uint32_t done, uint32_t remaining) {
    const uint32_t appended = AppendToTail(data + done, remaining);
    return appended + QueueDataPackets(data + done + appended, remaining - appended);
  });
}

// Takes bytes as they arrive until `count` are copied, the limit runs out or
// the link goes down. Taking bytes sends nothing to the peer.
int32_t TransportBase::Receive(uint8_t* buffer, uint32_t count, int32_t limit) {
  return Transfer(WaiterKind::Receive, count, limit, [&](uint32_t done, uint32_t remaining) {
    return TakeReceived(buffer + done, remaining);
  });
}

// Drops the link locally, as a lost link would be; the peer learns of it
// when its next packet is answered with a Reset.
void TransportBase::Abort() {
  LockGuard guard(lock);
  waiter = WaiterKind::Abort;
  if (state != LinkState::Idle) LinkLost();
  waiter = WaiterKind::None;
}

// Merges bytes into the newest queued packet while it has never been on the
// wire, or turns a queued pure acknowledgement into the first data packet so
// the ack rides on the data. Makes the head due at once. Returns the bytes
// taken.
uint32_t TransportBase::AppendToTail(const uint8_t* data, uint32_t remaining) {
  if (tx.Empty() || remaining == 0) return 0;
  LinkPacket& tail = tx.Tail();
  const uint8_t length = PayloadLength(tail);
  if (IsControl(tail) || length >= kMaxPayload || (IsRepeat(tail) && length != 0)) return 0;

  const uint32_t taken = std::min<uint32_t>(remaining, kMaxPayload - length);
  std::memcpy(tail.payload + length, data, taken);
  if (length == 0) {
    tail.flags = static_cast<uint8_t>(tail.flags & ~kFlagRepeat);
    txNextSeq = NextSeq(txNextSeq);
    retryBudget = kUnlimitedRetries;
  }
  nextSendTime = clock.Now();
  tail.flags = static_cast<uint8_t>((tail.flags & ~kFlagLengthMask) | (length + taken));
  return taken;
}

// Builds new data packets of up to 61 bytes in the free slots. Returns the
// bytes queued.
uint32_t TransportBase::QueueDataPackets(const uint8_t* data, uint32_t remaining) {
  uint32_t queued = 0;
  while (queued < remaining && !tx.Full()) {
    LinkPacket& packet = tx.WriteSlot();
    const uint32_t length = std::min<uint32_t>(remaining - queued, kMaxPayload);
    std::memcpy(packet.payload, data + queued, length);
    std::memset(packet.payload + length, 0, kMaxPayload - length);
    packet.flags = static_cast<uint8_t>(length);
    packet.seq = txNextSeq;
    txNextSeq = NextSeq(txNextSeq);
    if (tx.Empty()) {
      retryBudget = kUnlimitedRetries;
      nextSendTime = clock.Now();
    }
    tx.CommitSlot();
    queued += length;
  }
  return queued;
}

// Copies stored payload bytes in order, releasing each slot once it is
// fully taken. Returns the bytes copied.
uint32_t TransportBase::TakeReceived(uint8_t* buffer, uint32_t remaining) {
  uint32_t copied = 0;
  while (!rx.Empty() && copied < remaining) {
    const LinkPacket& packet = rx.Head();
    const uint8_t length = PayloadLength(packet);
    const uint32_t available = length > rxReadOffset ? length - rxReadOffset : 0u;
    const uint32_t taken = std::min<uint32_t>(remaining - copied, available);
    std::memcpy(buffer + copied, packet.payload + rxReadOffset, taken);
    copied += taken;
    rxReadOffset = static_cast<uint8_t>(rxReadOffset + taken);
    if (rxReadOffset >= length) {
      rx.ReleaseSlot();
      rxReadOffset = 0;
    }
  }
  return copied;
}

// The limit covers the whole call: each wait gets only what is left of it.
// A wake is a hint; the caller looks at the rings again.
bool TransportBase::WaitForProgress(uint32_t start, int32_t limit) {
  uint32_t wait = kWaitForever;
  if (limit >= 0) {
    const uint32_t elapsed = clock.Now() - start;
    if (elapsed >= static_cast<uint32_t>(limit)) return false;
    wait = static_cast<uint32_t>(limit) - elapsed;
  }
  return WaitForSignal(wait) && state == LinkState::Connected;
}

int32_t TransportBase::TransferResult(uint32_t count, uint32_t remaining) const {
  if (remaining < count) return static_cast<int32_t>(count - remaining);
  return state == LinkState::Connected ? 0 : -1;
}
