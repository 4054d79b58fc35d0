#pragma once

#include <cstdint>
#include <memory>

// A manual-reset event: once set it stays set, waking every waiter, until it
// is reset.
class Event {
 public:
  Event();
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  // True when the event is set now; never waits.
  bool IsSet();
  // Waits until the event is set or the limit runs out (kWaitForever from
  // clock.h: no limit). Returns true when the event is set.
  bool Wait(uint32_t milliseconds);

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};
