#include "link/transport_host.h"

// Queues the ConnectRequest (seq FF, sent with ack CC) for the worker to
// repeat and waits once for the worker's signal. A request nobody accepted
// is withdrawn so it stops repeating; the receive ring is not touched.
bool TransportHost::Connect() {
  LockGuard guard(lock);
  waiter = WaiterKind::Connect;
  if (state != LinkState::Idle) {
    waiter = WaiterKind::None;
    return false;
  }

  rxLastSeq = kConnectRequestAck;
  QueueControlPacket(ControlCode::ConnectRequest, kConnectRequestSeq, kUnlimitedRetries);
  state = LinkState::Connecting;

  WaitForSignal(kConnectTimeoutMs);

  bool connected = false;
  switch (state) {
    case LinkState::Connected:
      connected = true;
      break;
    case LinkState::Connecting:
      tx.Clear();
      retryBudget = 0;
      state = LinkState::Idle;
      break;
    case LinkState::Idle:
    case LinkState::Listening:
    case LinkState::AcceptPending:
    case LinkState::ShuttingDown:
      break;
  }
  waiter = WaiterKind::None;
  return connected;
}
