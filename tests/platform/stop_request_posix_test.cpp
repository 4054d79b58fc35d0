#include "platform/stop_request.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace {

TEST(StopWatch, SignalMarksTheStopInsteadOfEndingTheProcess) {
  {
    StopWatch watch;
    EXPECT_FALSE(StopRequested());
    EXPECT_EQ(StopExitCode(), 0);
    EXPECT_FALSE(SleepUnlessStopped(1));
    raise(SIGINT);
    raise(SIGTERM);  // the first request decides the exit code
    EXPECT_TRUE(StopRequested());
    EXPECT_EQ(StopExitCode(), 130);
    EXPECT_TRUE(SleepUnlessStopped(60000)) << "returns at once once stopped";
  }
  struct sigaction after;
  sigaction(SIGINT, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_DFL) << "the previous action is back";
}

// Only a hang would keep the sleep for its full minute.
TEST(StopWatch, SignalFromAnotherThreadWakesTheSleep) {
  StopWatch watch;
  std::thread sender([] {
    usleep(50 * 1000);
    kill(getpid(), SIGHUP);
  });
  EXPECT_TRUE(SleepUnlessStopped(60000));
  sender.join();
  EXPECT_EQ(StopExitCode(), 128 + SIGHUP);
}

TEST(StopWatch, ClosedPipeFailsTheWriteInsteadOfKilling) {
  StopWatch watch;
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  errno = 0;
  EXPECT_EQ(write(ends[1], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(ends[1]);
  EXPECT_FALSE(StopRequested());
}

TEST(StopWatch, SignalIgnoredByTheParentStaysIgnored) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction previous;
  sigaction(SIGTERM, &ignore, &previous);
  {
    StopWatch watch;
    raise(SIGTERM);
    EXPECT_FALSE(StopRequested());
  }
  sigaction(SIGTERM, &previous, nullptr);
}

}  // namespace
