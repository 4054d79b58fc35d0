#include "sim_clock.h"

#include <cstdio>
#include <cstdlib>

#include "platform/event.h"

namespace {
constexpr uint32_t kForeverGuardMs = 60u * 60u * 1000u;
}

void SimClock::Tick() {
  now_.fetch_add(1);
  if (callback_) callback_();
}

void SimClock::Advance(uint32_t milliseconds) {
  for (uint32_t i = 0; i < milliseconds; ++i) Tick();
}

bool SimClock::WaitFor(Event& event, uint32_t milliseconds) {
  const bool forever = milliseconds == kWaitForever;
  const uint32_t limit = forever ? kForeverGuardMs : milliseconds;
  for (uint32_t waited = 0; waited < limit; ++waited) {
    if (event.IsSet()) return true;
    Tick();
  }
  if (event.IsSet()) return true;
  if (forever) {
    std::fprintf(stderr, "SimClock: a wait without limit saw no signal in an hour of simulated time\n");
    std::abort();
  }
  return false;
}
