#pragma once

#include <cstdint>

// Requests from outside to end the run: Ctrl-C, a termination request, a
// hang-up of the terminal. While a StopWatch lives, such a request does not
// end the process; it only marks the run as to be stopped, and the run ends
// itself at its next opportunity, cleaning up as on any other way out. A
// closed standard output no longer kills the process either: writing to it
// fails instead (on POSIX, SIGPIPE is ignored).
//
// Only one StopWatch lives at a time; the request it records stays until it
// is destroyed.
class StopWatch {
 public:
  StopWatch();
  ~StopWatch();
  StopWatch(const StopWatch&) = delete;
  StopWatch& operator=(const StopWatch&) = delete;
};

// True once a stop has been requested.
bool StopRequested();

// The exit code that tells how the run was stopped, by the convention of
// shells: 128 plus the signal number (Ctrl-C: 130). 0 while no stop was
// requested.
int StopExitCode();

// Waits `milliseconds`, returning early when a stop is requested. True when
// a stop has been requested.
bool SleepUnlessStopped(uint32_t milliseconds);
