#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/clock.h"

// Simulated time for links built with LinkWorker::Manual. Time moves only
// when someone sleeps or waits on it (or calls Advance): one millisecond at
// a time, running the per-millisecond callback after each, so a test steps
// the links it owns (their Poll) and their peers deterministically while a
// Send, Receive or Connect waits.
//
// Meant for one thread; Now may be read from others.
class SimClock final : public Clock {
 public:
  explicit SimClock(uint32_t start = 0) : now_(start) {}

  uint32_t Now() override { return now_.load(); }
  void Sleep(uint32_t milliseconds) override { Advance(milliseconds); }
  // Advances until the event is set or the limit has passed. A wait without
  // limit that sees no signal within an hour of simulated time aborts the
  // test run instead of hanging it.
  bool WaitFor(Event& event, uint32_t milliseconds) override;

  // Sets the tick, e.g. just below 2^32 to cross the wrap.
  void Set(uint32_t tick) { now_.store(tick); }
  // Moves time on by the given milliseconds, one at a time.
  void Advance(uint32_t milliseconds);
  // Runs after every simulated millisecond.
  void OnEachMillisecond(std::function<void()> callback) { callback_ = std::move(callback); }

 private:
  void Tick();

  std::atomic<uint32_t> now_;
  std::function<void()> callback_;
};
