#include "lockstep_clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/event.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a sleeping worker waits for a grant before it runs free.
constexpr std::chrono::microseconds kFreeRunAfter{100};
// Real time after which a stuck hand-over is a hang, not a slow machine.
constexpr std::chrono::seconds kHangGuard{20};
// Silence on the wire after which no packet can be queued on either side: a
// queued packet is repeated every 20 ms.
constexpr uint32_t kStillMs = 21;

[[noreturn]] void Hang(const char* what) {
  std::fprintf(stderr, "LockstepClock: %s\n", what);
  std::abort();
}

// Spins, yielding the processor, until `done` or the real-time limit.
template <class Condition>
bool SpinUntil(Condition done, SteadyClock::duration limit) {
  const SteadyClock::time_point deadline = SteadyClock::now() + limit;
  for (uint32_t round = 0;; ++round) {
    if (done()) return true;
    if ((round & 0x3F) == 0 && SteadyClock::now() > deadline) return done();
    std::this_thread::yield();
  }
}

}  // namespace

void LockstepClock::Sleep(uint32_t milliseconds) {
  parked_.store(true);
  parkings_.fetch_add(1);
  if (SpinUntil([this] { return granted_.load(); }, kFreeRunAfter)) {
    granted_.store(false);
    tick_.fetch_add(milliseconds);
  }
  parked_.store(false);
}

void LockstepClock::GrantOneStep() {
  if (!SpinUntil([this] { return parked_.load(); }, kHangGuard)) {
    Hang("the worker never came back to sleep");
  }
  const uint64_t before = parkings_.load();
  granted_.store(true);
  if (!SpinUntil([&] { return parkings_.load() > before; }, kHangGuard)) {
    Hang("the worker did not finish its step");
  }
}

bool LockstepClock::WaitFor(Event& event, uint32_t milliseconds) {
  const uint32_t start = tick_.load();
  bool stepped = false;
  for (;;) {
    if (event.IsSet()) return true;
    const uint32_t now = tick_.load();
    if (milliseconds != kWaitForever && now - start >= milliseconds) return false;
    // One step of this wait has let the worker send whatever the caller
    // queued; after that, silence means nothing more will move.
    if (stepped && lastActivity_ && now - lastActivity_() >= kStillMs) {
      if (milliseconds == kWaitForever) Hang("a wait without limit on a link where nothing moves");
      tick_.store(start + milliseconds);
      continue;
    }
    GrantOneStep();
    stepped = true;
  }
}
