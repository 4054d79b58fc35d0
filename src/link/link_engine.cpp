#include <cstring>

#include "link/transport_base.h"

namespace {

// A transmission is due when the wrapping difference due - now, read as a
// signed 32-bit number, is 0 or less; this stays right across the tick's
// wrap at 2^32.
bool IsDue(uint32_t due, uint32_t now) { return static_cast<int32_t>(due - now) <= 0; }

bool IsPureAcknowledgement(const LinkPacket& packet) {
  return !IsControl(packet) && PayloadLength(packet) == 0;
}

// A control packet with the given code and no payload, the only valid form.
bool IsBareControl(const LinkPacket& packet, ControlCode code) {
  return IsControlCode(packet, code) && PayloadLength(packet) == 0;
}

}  // namespace

// Polls every 1 ms while a call waits or something is queued, every 10 ms
// otherwise, until the destructor sets ShuttingDown. Each step is timed
// from the one before rather than from the end of the last sleep, so a
// sleep that overshoots (they all do, by a fraction of a millisecond) does
// not add its overshoot to every packet of a transfer. A worker that has
// fallen behind polls at once and takes up the cadence from there.
uint32_t TransportBase::WorkerLoop(void* parameter) {
  TransportBase& link = *static_cast<TransportBase*>(parameter);
  uint32_t stepTime = link.clock.Now();
  link.Poll();
  for (;;) {
    bool busy = false;
    {
      LockGuard guard(link.lock);
      if (link.state == LinkState::ShuttingDown) break;
      busy = link.waiter != WaiterKind::None || !link.tx.Empty();
    }
    stepTime += busy ? kBusyPollMs : kIdlePollMs;
    const uint32_t now = link.clock.Now();
    const int32_t ahead = static_cast<int32_t>(stepTime - now);
    if (ahead > 0) {
      link.clock.Sleep(static_cast<uint32_t>(ahead));
    } else {
      stepTime = now;
    }
    link.Poll();
  }
  return 0;
}

// One step under the lock: at most one packet read, straight into the free
// receive slot (or a scratch buffer when the ring is full), at most one
// written. Nothing happens once the link is shutting down.
void TransportBase::Poll() {
  LockGuard guard(lock);
  if (state == LinkState::ShuttingDown) return;

  LinkPacket scratch;
  const bool inScratch = rx.Full();
  LinkPacket& incoming = inScratch ? scratch : rx.WriteSlot();
  const int32_t result = layer->Read(PacketBytes(incoming));
  if (result == kPacketSize) {
    if (!ProcessPacket(incoming, inScratch)) return;
  } else if (result != 0) {
    LinkLost();
    return;
  }
  TransmitHead();
}

// Runs one incoming packet through the state machine.
bool TransportBase::ProcessPacket(LinkPacket& packet, bool inScratch) {
  switch (state) {
    case LinkState::Idle:
      if (!IsBareControl(packet, ControlCode::Reset)) QueueReset();
      return true;

    case LinkState::Listening:
      if (IsBareControl(packet, ControlCode::ConnectRequest)) {
        AcceptConnectRequest(packet);
      } else if (!IsBareControl(packet, ControlCode::Reset)) {
        QueueReset();
      }
      return true;

    case LinkState::Connecting:
      // Only the accept of our own request counts; everything else, a Reset
      // included, is ignored while the request goes on repeating.
      if (IsBareControl(packet, ControlCode::ConnectAccept) && packet.ack == tx.slots[0].seq) {
        CompleteActiveOpen(packet);
      }
      return true;

    case LinkState::AcceptPending: {
      if (IsBareControl(packet, ControlCode::ConnectRequest) && packet.seq == rxLastSeq) {
        return true;  // a repeat of the request already accepted
      }
      // The peer's first packet after our accept opens the link. A length of
      // 62 or 63 could never pass the Connected checks, so such a packet is
      // refused here like any other unexpected one.
      const bool opens = !IsControl(packet) && PayloadLength(packet) <= kMaxPayload &&
                         !tx.Empty() && packet.ack == tx.Head().seq &&
                         packet.seq == NextSeq(rxLastSeq);
      if (!opens) {
        QueueReset();
        state = LinkState::Listening;
        return true;
      }
      tx.Clear();
      retryBudget = 0;
      rxReadOffset = 0;
      state = LinkState::Connected;
      if (waiter == WaiterKind::Accept) wakeEvent.Set();
      return ProcessConnected(packet, inScratch);
    }

    case LinkState::Connected:
      return ProcessConnected(packet, inScratch);

    case LinkState::ShuttingDown:
      return false;
  }
  return true;
}

// Checks a packet against the link's sequence numbers, honours its ack,
// stores new data and acknowledges anything that carries data. A packet that
// fails a check breaks the link (ProtocolError).
bool TransportBase::ProcessConnected(LinkPacket& packet, bool inScratch) {
  const uint8_t length = PayloadLength(packet);
  bool repeatedAccept = false;

  if (IsControl(packet)) {
    if (length != 0) {
      ProtocolError();
      return true;
    }
    switch (static_cast<ControlCode>(packet.payload[0])) {
      case ControlCode::Reset:
        LinkLost();
        return false;
      case ControlCode::ConnectAccept:
        // Only a repeat of the accept that opened the link is harmless.
        if (!IsRepeat(packet) || packet.seq != rxLastSeq) {
          ProtocolError();
          return true;
        }
        repeatedAccept = true;
        break;
      case ControlCode::ConnectRequest:
      default:
        ProtocolError();
        return true;
    }
  } else {
    // Lengths 62 and 63 would read past the 61-byte payload.
    if (length > kMaxPayload || (packet.seq != rxLastSeq && packet.seq != NextSeq(rxLastSeq))) {
      ProtocolError();
      return true;
    }
    if (!tx.Empty()) {
      LinkPacket& head = tx.Head();
      if (packet.ack == head.seq && IsRepeat(head)) {
        tx.ReleaseSlot();
        if (!tx.Empty()) {
          retryBudget = kUnlimitedRetries;
          nextSendTime = clock.Now();
        } else {
          retryBudget = 0;
        }
        if (waiter == WaiterKind::Send) wakeEvent.Set();
      } else if (packet.ack != PreviousSeq(head.seq)) {
        // Includes an ack of a head that never went out.
        ProtocolError();
        return true;
      }
    }
    if (tx.Empty() && packet.ack != PreviousSeq(txNextSeq)) {
      ProtocolError();
      return true;
    }
  }

  if (length == 0 && !repeatedAccept) return true;  // a pure acknowledgement

  if (packet.seq == rxLastSeq) {
    // A duplicate: already stored (every valid repeated accept ends here).
  } else if (inScratch) {
    // No room: dropped without advancing rxLastSeq, so the peer repeats it.
  } else {
    rx.CommitSlot();
    rxLastSeq = packet.seq;
    if (waiter == WaiterKind::Receive) wakeEvent.Set();
  }
  // With a packet queued, its next transmission carries the new ack.
  if (tx.Empty()) QueuePureAcknowledgement();
  return true;
}

// A: answers a ConnectRequest with our ConnectAccept, repeated until the
// peer's first packet arrives.
void TransportBase::AcceptConnectRequest(const LinkPacket& request) {
  rxLastSeq = request.seq;
  QueueControlPacket(ControlCode::ConnectAccept, kConnectAcceptSeq, kUnlimitedRetries);
  state = LinkState::AcceptPending;
}

// B: the peer accepted our request. The request slot becomes the pure
// acknowledgement that tells the peer so; it goes out in this same step.
void TransportBase::CompleteActiveOpen(const LinkPacket& accept) {
  rxLastSeq = accept.seq;
  LinkPacket& acknowledgement = tx.slots[0];
  acknowledgement.flags = 0;
  acknowledgement.seq = txNextSeq;
  retryBudget = kSingleTransmission;
  nextSendTime = clock.Now();
  rxReadOffset = 0;
  state = LinkState::Connected;
  wakeEvent.Set();
}

// E: the peer broke the protocol. Unread data are dropped and the peer gets
// a Reset in this same step.
void TransportBase::ProtocolError() {
  rx.Clear();
  QueueReset();
  state = LinkState::Idle;
  if (waiter != WaiterKind::None) wakeEvent.Set();
}

// Queues an acknowledgement without data; it carries txNextSeq without
// using it up and goes out once.
void TransportBase::QueuePureAcknowledgement() {
  LinkPacket& acknowledgement = tx.WriteSlot();
  std::memset(&acknowledgement, 0, sizeof acknowledgement);
  acknowledgement.seq = txNextSeq;
  retryBudget = kSingleTransmission;
  nextSendTime = clock.Now();
  tx.CommitSlot();
}

// Sends the head when its time has come, stamped with the current ack. Data
// and handshake packets repeat every 20 ms until acknowledged; pure
// acknowledgements and Resets go once. A Write answering 0 leaves everything
// as it was, so the next step tries again.
void TransportBase::TransmitHead() {
  if (tx.Empty()) return;
  if (!IsDue(nextSendTime, clock.Now())) return;

  LinkPacket& head = tx.Head();
  head.ack = rxLastSeq;
  const int32_t result = layer->Write(PacketBytes(head));
  if (result == kPacketSize) {
    if (IsPureAcknowledgement(head)) {
      retryBudget = static_cast<uint8_t>(retryBudget - 1u);
      tx.ReleaseSlot();
    } else {
      if (retryBudget != kUnlimitedRetries) retryBudget = static_cast<uint8_t>(retryBudget - 1u);
      if (retryBudget != 0) {
        head.flags = static_cast<uint8_t>(head.flags | kFlagRepeat);
      } else if (IsControlCode(head, ControlCode::Reset)) {
        tx.ReleaseSlot();
      }
    }
    nextSendTime = clock.Now() + kRetransmitIntervalMs;
  } else if (result != 0) {
    LinkLost();
  }
}
