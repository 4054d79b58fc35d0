#pragma once

#include <cstdint>

class Event;

// A wait limit that never runs out.
constexpr uint32_t kWaitForever = 0xFFFFFFFFu;

// The link's view of time: a free-running 32-bit millisecond tick that wraps
// at 2^32, a sleep, and a limited wait on an event. Everything that measures
// or spends time goes through this seam, so tests can run the link in
// simulated milliseconds (and across the tick's wrap) instead of real ones.
class Clock {
 public:
  // Milliseconds since some fixed point; wraps at 2^32.
  virtual uint32_t Now() = 0;
  // Sleeps until the tick has moved on by the given number of milliseconds
  // (at most that long, and never less than the part of it still ahead).
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Waits until the event is set or the limit runs out (kWaitForever: no
  // limit). Returns true when the event was set.
  virtual bool WaitFor(Event& event, uint32_t milliseconds) = 0;

 protected:
  ~Clock() = default;
};

// The process-wide clock backed by the operating system.
Clock& SystemClock();
