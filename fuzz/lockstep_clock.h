#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/clock.h"

// Simulated time for a client whose link runs its real worker thread, fast
// enough for fuzzing and still deterministic.
//
// The application thread waits only through WaitFor, and every simulated
// millisecond of such a wait is handed to the worker as exactly one step: the
// worker's Sleep returns only when the application grants it, advances the
// tick by the slept amount, and the application goes on once the worker has
// polled and come back to sleep. So the worker and the application take
// turns, and the link sees the same ticks in every run.
//
// When nothing has moved on the wire for longer than the retransmission
// interval, both within the current wait and since the last packet that the
// `lastActivity` source reports, no packet is queued on either side (a
// queued one would have been repeated), so nothing can happen before the
// application acts again: the wait is then run out at once instead of
// millisecond by millisecond, and the link cannot tell the difference.
//
// While no application call waits (the client runs its own code, or the
// link is being destroyed), a sleeping worker runs free after a short real
// pause without advancing the tick, so joining it never hangs.
class LockstepClock final : public Clock {
 public:
  uint32_t Now() override { return tick_.load(); }
  void Sleep(uint32_t milliseconds) override;
  bool WaitFor(Event& event, uint32_t milliseconds) override;

  // The tick of the last packet that either side wrote.
  void SetActivitySource(std::function<uint32_t()> lastActivity) {
    lastActivity_ = std::move(lastActivity);
  }
  void Set(uint32_t tick) { tick_.store(tick); }

 private:
  // Lets the parked worker run one step and waits until it parks again.
  void GrantOneStep();

  std::atomic<uint32_t> tick_{0};
  std::function<uint32_t()> lastActivity_;
  // The hand-over spins (yielding) instead of blocking: a step takes
  // microseconds, far less than a sleep and wake-up of a thread.
  std::atomic<bool> parked_{false};
  std::atomic<bool> granted_{false};
  std::atomic<uint64_t> parkings_{0};
};
