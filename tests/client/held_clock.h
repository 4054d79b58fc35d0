#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/clock.h"

// Simulated time for a client whose link runs its own worker thread against
// a virtual interface that runs in real time.
//
// The application thread (the one that constructed the clock, i.e. the
// test) sees a tick that stands still until a test says otherwise: Advance
// moves it, and a limited wait of the application thread runs out only when
// a run-out was granted (RunOutWaits), advancing the tick by the whole wait.
// So every time the client and its link calls measure is exact.
//
// Every other thread (the link's worker) sees the same tick plus the real
// time since construction, and sleeps and waits in real time, so the worker
// still repeats a packet the peer dropped.
//
// A limited application wait that sees neither a signal nor a run-out for
// kGuard of real time fails the test and runs out, so a wrong script cannot
// hang the suite; such a wait without limit aborts the run.
class HeldClock final : public Clock {
 public:
  static constexpr std::chrono::seconds kGuard{20};

  explicit HeldClock(uint32_t start = 0);

  uint32_t Now() override;
  void Sleep(uint32_t milliseconds) override;
  bool WaitFor(Event& event, uint32_t milliseconds) override;

  // Moves the tick on; from any thread.
  void Advance(uint32_t milliseconds) { tick_.fetch_add(milliseconds); }
  // Lets the application thread's current or next `count` limited waits run
  // out; from any thread.
  void RunOutWaits(uint32_t count);
  // Takes back the run-outs not used yet and returns their number.
  uint32_t WithdrawRunOuts();
  // Blocks until every granted run-out was used. False after kGuard.
  bool AwaitRunOutsUsed();
  // Blocks until the application thread is inside a wait. False after kGuard.
  bool AwaitApplicationWait();

 private:
  bool OnApplicationThread() const { return std::this_thread::get_id() == application_; }
  // True, consuming it, when a run-out is granted and the event is not set.
  bool TakeRunOut(Event& event);
  void SetApplicationWaiting(bool waiting);

  const std::thread::id application_;
  const std::chrono::steady_clock::time_point realStart_;
  std::atomic<uint32_t> tick_;

  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t runOuts_ = 0;
  bool applicationWaiting_ = false;
};
