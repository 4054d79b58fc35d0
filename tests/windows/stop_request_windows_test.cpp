// Stop requests through the console's control events: Ctrl-C and
// Ctrl-Break only mark the run as to be stopped, waits end early on them,
// and the exit code tells which one came.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "console_keys.h"
#include "platform/stop_request.h"

namespace {

// A bound that only catches a hang.
constexpr uint32_t kHangLimitMs = 5000;

bool WaitForStop() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangLimitMs);
  while (!StopRequested() && std::chrono::steady_clock::now() < deadline) Sleep(1);
  return StopRequested();
}

TEST(StopRequestWindows, NoStopWithoutARequest) {
  StopWatch watch;
  EXPECT_FALSE(StopRequested());
  EXPECT_EQ(StopExitCode(), 0);
  EXPECT_FALSE(SleepUnlessStopped(20));
}

// Ctrl-Break and the console's close event take the same way with their own
// exit codes; wine delivers neither to a program, so only Ctrl-C is tried.
TEST(StopRequestWindows, CtrlCEventStopsTheRunAndEndsItsSleep) {
  if (!ConsoleKeys().Available()) GTEST_SKIP() << "no console: run under a terminal (scripts/test-windows.sh does)";
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    StopWatch watch;
    ASSERT_FALSE(StopRequested()) << "each watch starts clear";
    // The event goes to every process of the console, this one included;
    // the watch's handler takes it.
    std::thread user([] {
      Sleep(50);
      GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(SleepUnlessStopped(kHangLimitMs * 3)) << "the sleep ends early on the request";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kHangLimitMs));
    user.join();
    EXPECT_TRUE(WaitForStop());
    EXPECT_EQ(StopExitCode(), 128 + SIGINT);
    EXPECT_TRUE(SleepUnlessStopped(kHangLimitMs * 3));
  }
}

}  // namespace
