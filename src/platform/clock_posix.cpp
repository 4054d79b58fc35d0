#include <time.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/event.h"

namespace {

// The monotonic clock in milliseconds, cut to 32 bits so that it wraps at
// 2^32 like the tick the link's arithmetic is written for.
class PosixClock final : public Clock {
 public:
  uint32_t Now() override {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(milliseconds);
  }

  void Sleep(uint32_t milliseconds) override {
    timespec remaining;
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
  }

  bool WaitFor(Event& event, uint32_t milliseconds) override { return event.Wait(milliseconds); }
};

}  // namespace

Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}
