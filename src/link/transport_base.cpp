#include <cstring>

#include "link/transport_base.h"

TransportBase::TransportBase(PacketLayer* layer, Clock& clock, LinkWorker worker)
    : layer(layer), clock(clock) {
  // The slots' contents have no meaning until a packet is built or read into
  // them; zeroing them only makes a fresh link's memory predictable.
  std::memset(rx.slots, 0, sizeof rx.slots);
  std::memset(tx.slots, 0, sizeof tx.slots);
  rx.Clear();
  tx.Clear();
  // Last, so the worker only ever sees a fully built record. A failure to
  // start it leaves a link that nobody polls; Manual links never have one.
  if (worker == LinkWorker::Thread) workerThread.Start(&TransportBase::WorkerLoop, this);
}

// Stops the worker under the lock and joins it outside the lock, so no call
// of the packet layer can happen after this returns. Nothing is sent.
TransportBase::~TransportBase() {
  {
    LockGuard guard(lock);
    state = LinkState::ShuttingDown;
  }
  workerThread.Join();
}

LinkState TransportBase::CurrentState() {
  LockGuard guard(lock);
  return state;
}

// Drops everything queued in both directions and falls back to Idle without
// telling the peer; a waiting call learns of it at once.
void TransportBase::LinkLost() {
  rx.Clear();
  tx.Clear();
  retryBudget = 0;
  state = LinkState::Idle;
  if (waiter != WaiterKind::None) wakeEvent.Set();
}

// The Reset takes the number after the last packet the peer can have seen:
// the head's own seq when the head never went out, the next one when it did.
void TransportBase::QueueReset() {
  if (!tx.Empty()) {
    const LinkPacket& head = tx.Head();
    txNextSeq = IsRepeat(head) ? NextSeq(head.seq) : head.seq;
  }
  QueueControlPacket(ControlCode::Reset, txNextSeq, kSingleTransmission);
}

// Every control packet this side sends stands alone in the transmit ring,
// in slot 0, due at once, and uses up its sequence number.
void TransportBase::QueueControlPacket(ControlCode code, uint8_t seq, uint8_t budget) {
  tx.Clear();
  LinkPacket& packet = tx.WriteSlot();
  std::memset(&packet, 0, sizeof packet);
  packet.flags = kFlagControl;
  packet.payload[0] = static_cast<uint8_t>(code);
  packet.seq = seq;
  txNextSeq = NextSeq(seq);
  retryBudget = budget;
  nextSendTime = clock.Now();
  tx.CommitSlot();
}

// The event is reset before the lock is let go, so a signal given after the
// caller's last look at the record always ends the wait, and an old one
// cannot. A signal that lands between the wait's end and retaking the lock
// still counts.
bool TransportBase::WaitForSignal(uint32_t limit) {
  wakeEvent.Reset();
  lock.Release();
  bool signalled = clock.WaitFor(wakeEvent, limit);
  lock.Acquire();
  if (!signalled) signalled = wakeEvent.IsSet();
  return signalled;
}
