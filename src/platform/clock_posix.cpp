#include <time.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/event.h"

namespace {

uint64_t MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

// The monotonic clock in milliseconds, cut to 32 bits so that it wraps at
// 2^32 like the tick the link's arithmetic is written for.
class PosixClock final : public Clock {
 public:
  uint32_t Now() override { return static_cast<uint32_t>(MonotonicMilliseconds()); }

  // Sleeps until the tick has moved on by `milliseconds`. The wake-up is set
  // on the tick's millisecond boundary, so a caller that keeps a cadence on
  // the tick (the link's worker) wakes when its step is due instead of a
  // fraction of a millisecond later on every step.
  void Sleep(uint32_t milliseconds) override {
    const uint64_t wake = MonotonicMilliseconds() + milliseconds;
#if defined(__APPLE__)
    // No absolute sleep here; a relative one only overshoots a little more.
    (void)wake;
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
#else
    timespec deadline;
    deadline.tv_sec = static_cast<time_t>(wake / 1000u);
    deadline.tv_nsec = static_cast<long>(wake % 1000u) * 1000000L;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
#endif
  }

  bool WaitFor(Event& event, uint32_t milliseconds) override { return event.Wait(milliseconds); }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}
