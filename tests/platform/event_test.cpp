// The manual-reset event the link's waits rely on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/event.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

TEST(Event, StaysSetUntilReset) {
  Event event;
  EXPECT_FALSE(event.IsSet());
  event.Set();
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(1000));
  EXPECT_TRUE(event.IsSet()) << "a wait does not consume the signal";
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.Wait(0));
}

TEST(Event, WaitEndsAtItsLimitWhenNotSet) {
  Event event;
  const auto start = SteadyClock::now();
  EXPECT_FALSE(event.Wait(50));
  EXPECT_GE(SteadyClock::now() - start, std::chrono::milliseconds(50));
}

TEST(Event, SetWakesEveryWaiter) {
  Event event;
  constexpr int kWaiters = 4;
  std::atomic<int> started{0};
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < kWaiters; ++i) {
    waiters.emplace_back([&] {
      ++started;
      if (event.Wait(kWaitForever)) ++woken;
    });
  }
  while (started < kWaiters) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  event.Set();
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(woken, kWaiters);
}

TEST(Event, SetFromAnotherThreadEndsALimitedWait) {
  Event event;
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    event.Set();
  });
  EXPECT_TRUE(event.Wait(60000));
  setter.join();
}

}  // namespace
