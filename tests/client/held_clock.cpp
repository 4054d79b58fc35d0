#include "held_clock.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/event.h"

namespace {
// How often an application wait looks for a run-out.
constexpr uint32_t kSliceMs = 1;
}  // namespace

HeldClock::HeldClock(uint32_t start)
    : application_(std::this_thread::get_id()),
      realStart_(std::chrono::steady_clock::now()),
      tick_(start) {}

uint32_t HeldClock::Now() {
  if (OnApplicationThread()) return tick_.load();
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - realStart_);
  return tick_.load() + static_cast<uint32_t>(real.count());
}

void HeldClock::Sleep(uint32_t milliseconds) {
  if (OnApplicationThread()) {
    Advance(milliseconds);
    return;
  }
  SystemClock().Sleep(milliseconds);
}

bool HeldClock::WaitFor(Event& event, uint32_t milliseconds) {
  if (!OnApplicationThread()) return event.Wait(milliseconds);

  SetApplicationWaiting(true);
  const auto guardEnd = std::chrono::steady_clock::now() + kGuard;
  bool signalled = false;
  for (;;) {
    if (event.Wait(kSliceMs)) {
      signalled = true;
      break;
    }
    if (milliseconds != kWaitForever && TakeRunOut(event)) {
      Advance(milliseconds);
      break;
    }
    if (std::chrono::steady_clock::now() >= guardEnd) {
      if (milliseconds == kWaitForever) {
        std::fprintf(stderr, "HeldClock: a wait without limit saw no signal for %lld s\n",
                     static_cast<long long>(kGuard.count()));
        std::abort();
      }
      ADD_FAILURE() << "a wait of " << milliseconds
                    << " ms saw neither a signal nor a run-out; running it out";
      Advance(milliseconds);
      break;
    }
  }
  SetApplicationWaiting(false);
  return signalled;
}

void HeldClock::RunOutWaits(uint32_t count) {
  std::lock_guard<std::mutex> guard(mutex_);
  runOuts_ += count;
  changed_.notify_all();
}

// Only the application thread resets the event, and it is here, so a
// signal that came before the run-out was granted is still seen: such a
// wait ends as signalled and leaves the run-out to the next wait.
bool HeldClock::TakeRunOut(Event& event) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (runOuts_ == 0 || event.IsSet()) return false;
  runOuts_ -= 1;
  changed_.notify_all();
  return true;
}

uint32_t HeldClock::WithdrawRunOuts() {
  std::lock_guard<std::mutex> guard(mutex_);
  const uint32_t unused = runOuts_;
  runOuts_ = 0;
  changed_.notify_all();
  return unused;
}

bool HeldClock::AwaitRunOutsUsed() {
  std::unique_lock<std::mutex> guard(mutex_);
  return changed_.wait_for(guard, kGuard, [this] { return runOuts_ == 0; });
}

bool HeldClock::AwaitApplicationWait() {
  std::unique_lock<std::mutex> guard(mutex_);
  return changed_.wait_for(guard, kGuard, [this] { return applicationWaiting_; });
}

void HeldClock::SetApplicationWaiting(bool waiting) {
  std::lock_guard<std::mutex> guard(mutex_);
  applicationWaiting_ = waiting;
  changed_.notify_all();
}
