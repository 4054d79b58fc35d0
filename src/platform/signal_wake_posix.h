#pragma once

// The POSIX side of stop_request.h that the console shares: a self-pipe that
// every watched signal writes one byte to, so that a poll can wait on input
// and on signals at once, and the job-control signals that the console's
// terminal switch must follow.

// The pipe's reading end while a StopWatch lives, else -1. Readable after a
// watched signal arrived; DrainSignalWake empties it.
int SignalWakeDescriptor();
void DrainSignalWake();

// While a SuspendWatch lives, Ctrl-Z (SIGTSTP) does not stop the process at
// once: it is recorded, and the owner of the terminal switch undoes it,
// calls SuspendNow, and redoes it when SuspendNow returns. A continue signal
// (SIGCONT) after any stop is recorded too, so the switch can be redone.
class SuspendWatch {
 public:
  SuspendWatch();
  ~SuspendWatch();
  SuspendWatch(const SuspendWatch&) = delete;
  SuspendWatch& operator=(const SuspendWatch&) = delete;

  // True once per suspend request since the last call.
  bool TakeSuspendRequest();
  // True once per continue since the last call.
  bool TakeContinued();
  // Stops the process as Ctrl-Z would; returns when it is continued.
  void SuspendNow();
};
