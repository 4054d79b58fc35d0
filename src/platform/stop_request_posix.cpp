#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/clock.h"
#include "platform/signal_wake_posix.h"
#include "platform/stop_request.h"

namespace {

// Shells report a run ended by a signal as 128 plus its number.
constexpr int kSignalExitBase = 128;

// Flags shared between the handlers and the threads that test them. Lock-free
// atomics are safe to write from a handler whichever thread runs it.
std::atomic<int> stopSignal{0};
std::atomic<bool> suspendRequested{false};
std::atomic<bool> continued{false};
std::atomic<int> wakeRead{-1};
std::atomic<int> wakeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, "handlers need lock-free flags");
static_assert(std::atomic<bool>::is_always_lock_free, "handlers need lock-free flags");

// The only work a handler does besides setting its flag: one byte into the
// self-pipe, which never blocks (the pipe is non-blocking; a full pipe wakes
// its reader already).
void WakeReader() {
  const int saved = errno;
  const int descriptor = wakeWrite.load();
  if (descriptor >= 0) {
    const char byte = 1;
    const ssize_t ignored = write(descriptor, &byte, 1);
    static_cast<void>(ignored);
  }
  errno = saved;
}

extern "C" void OnStopSignal(int signalNumber) {
  int expected = 0;
  stopSignal.compare_exchange_strong(expected, signalNumber);
  WakeReader();
}

extern "C" void OnSuspendSignal(int) {
  suspendRequested.store(true);
  WakeReader();
}

extern "C" void OnContinueSignal(int) {
  continued.store(true);
  WakeReader();
}

// Installs `handler` for one signal, keeping the old action to put back. A
// signal that the parent left ignored (a background job of a script) stays
// ignored.
void Watch(int signalNumber, void (*handler)(int), struct sigaction& previous) {
  sigaction(signalNumber, nullptr, &previous);
  if (previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signalNumber, &action, nullptr);
}

void Unwatch(int signalNumber, const struct sigaction& previous) { sigaction(signalNumber, &previous, nullptr); }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousStop[3];
struct sigaction previousPipe;
struct sigaction previousSuspend;
struct sigaction previousContinue;

bool OpenWakePipe() {
  int ends[2];
  if (pipe(ends) != 0) return false;
  for (const int end : ends) {
    fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
    fcntl(end, F_SETFD, FD_CLOEXEC);
  }
  wakeRead.store(ends[0]);
  wakeWrite.store(ends[1]);
  return true;
}

void CloseWakePipe() {
  const int readEnd = wakeRead.exchange(-1);
  const int writeEnd = wakeWrite.exchange(-1);
  if (readEnd >= 0) close(readEnd);
  if (writeEnd >= 0) close(writeEnd);
}

}  // namespace

StopWatch::StopWatch() {
  stopSignal.store(0);
  OpenWakePipe();
  for (size_t i = 0; i < 3; ++i) Watch(kStopSignals[i], OnStopSignal, previousStop[i]);
  // A reader that went away makes writes fail with EPIPE instead of killing
  // the process, so the run can still say goodbye to the interface.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &previousPipe);
}

StopWatch::~StopWatch() {
  for (size_t i = 0; i < 3; ++i) Unwatch(kStopSignals[i], previousStop[i]);
  Unwatch(SIGPIPE, previousPipe);
  CloseWakePipe();
}

bool StopRequested() { return stopSignal.load() != 0; }

int StopExitCode() {
  const int signalNumber = stopSignal.load();
  return signalNumber == 0 ? 0 : kSignalExitBase + signalNumber;
}

int SignalWakeDescriptor() { return wakeRead.load(); }

void DrainSignalWake() {
  const int descriptor = wakeRead.load();
  if (descriptor < 0) return;
  char bytes[64];
  while (read(descriptor, bytes, sizeof bytes) > 0) {
  }
}

bool SleepUnlessStopped(uint32_t milliseconds) {
  Clock& clock = SystemClock();
  const uint32_t start = clock.Now();
  for (;;) {
    if (StopRequested()) return true;
    const uint32_t elapsed = clock.Now() - start;
    if (elapsed >= milliseconds) return false;
    pollfd wake{SignalWakeDescriptor(), POLLIN, 0};
    // A negative descriptor is skipped by poll, which then simply sleeps.
    poll(&wake, 1, static_cast<int>(milliseconds - elapsed));
    DrainSignalWake();
  }
}

SuspendWatch::SuspendWatch() {
  suspendRequested.store(false);
  continued.store(false);
  Watch(SIGTSTP, OnSuspendSignal, previousSuspend);
  Watch(SIGCONT, OnContinueSignal, previousContinue);
}

SuspendWatch::~SuspendWatch() {
  Unwatch(SIGTSTP, previousSuspend);
  Unwatch(SIGCONT, previousContinue);
}

bool SuspendWatch::TakeSuspendRequest() { return suspendRequested.exchange(false); }

bool SuspendWatch::TakeContinued() { return continued.exchange(false); }

void SuspendWatch::SuspendNow() {
  struct sigaction ours;
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(SIGTSTP, &standard, &ours);
  raise(SIGTSTP);  // stops here until continued
  sigaction(SIGTSTP, &ours, nullptr);
}
