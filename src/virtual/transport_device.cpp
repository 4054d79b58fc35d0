#include "virtual/transport_device.h"

bool TransportDevice::Accept(int32_t limit) {
  LockGuard guard(lock);
  waiter = WaiterKind::Accept;
  if (state != LinkState::Idle) {
    waiter = WaiterKind::None;
    return false;
  }
  rx.Clear();
  tx.Clear();
  retryBudget = 0;
  state = LinkState::Listening;

  const uint32_t start = clock.Now();
  while (state != LinkState::Connected) {
    uint32_t wait = kWaitForever;
    if (limit != kNoLimit) {
      const uint32_t elapsed = clock.Now() - start;
      if (elapsed >= static_cast<uint32_t>(limit)) break;
      wait = static_cast<uint32_t>(limit) - elapsed;
    }
    WaitForSignal(wait);
    if (state != LinkState::Listening && state != LinkState::AcceptPending &&
        state != LinkState::Connected) {
      break;
    }
  }

  const bool connected = state == LinkState::Connected;
  if (state == LinkState::Listening || state == LinkState::AcceptPending) {
    tx.Clear();
    retryBudget = 0;
    state = LinkState::Idle;
  }
  waiter = WaiterKind::None;
  return connected;
}
