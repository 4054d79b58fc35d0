// The joinable thread and the millisecond tick and sleep.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"

namespace {

uint32_t Count(void* parameter) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  static_cast<std::atomic<int>*>(parameter)->fetch_add(1);
  return 0;
}

TEST(Thread, RunsItsEntryWithTheParameterAndJoinWaitsForIt) {
  std::atomic<int> runs{0};
  Thread thread;
  EXPECT_FALSE(thread.Started());
  ASSERT_TRUE(thread.Start(&Count, &runs));
  EXPECT_TRUE(thread.Started());
  EXPECT_FALSE(thread.Start(&Count, &runs)) << "one entry per thread";
  thread.Join();
  EXPECT_FALSE(thread.Started());
  EXPECT_EQ(runs, 1);
  thread.Join();  // a second join is harmless
}

TEST(Thread, DestructorJoins) {
  std::atomic<int> runs{0};
  {
    Thread thread;
    ASSERT_TRUE(thread.Start(&Count, &runs));
  }
  EXPECT_EQ(runs, 1);
}

TEST(SystemClock, SleepLastsAtLeastItsTimeOnTheTick) {
  Clock& clock = SystemClock();
  const uint32_t before = clock.Now();
  clock.Sleep(30);
  const uint32_t elapsed = clock.Now() - before;
  EXPECT_GE(elapsed, 29u);  // the tick may have been read just before it moved
  EXPECT_LT(elapsed, 60000u);
}

}  // namespace
