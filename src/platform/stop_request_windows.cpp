#include <windows.h>
// After windows.h, which it builds on.
#include <mmsystem.h>

#include <atomic>
#include <csignal>

#include "platform/stop_request.h"
#include "platform/stop_wake_windows.h"

namespace {

// Shells report a run ended by a signal as 128 plus its number; the C
// runtime's numbers stand for the console's control events.
constexpr int kSignalExitBase = 128;

// Windows ends the process once the handler of a close, log-off or shutdown
// event returns, at the latest 5 s after the event; the handler holds it a
// little less than that for the run's own teardown.
constexpr DWORD kTeardownGraceMs = 4500;

// The link polls every millisecond while a call waits; the default system
// timer steps of 15.6 ms would stretch each of those polls (and every sleep)
// to a whole step, so the run asks for 1 ms steps while it lives.
constexpr UINT kTimerResolutionMs = 1;

std::atomic<int> stopSignal{0};

// Set by the watch's end, so that a handler holding the process for the
// teardown lets it go. Like the stop event it is never closed: the handler
// runs on a thread of its own and may still wait on it.
HANDLE RunEndedEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

// The C runtime's signal for a console control event; 0 for events that
// are not a request to stop.
int SignalForControlEvent(DWORD controlType) {
  switch (controlType) {
    case CTRL_C_EVENT:
      return SIGINT;
    case CTRL_BREAK_EVENT:
      return SIGBREAK;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      return SIGTERM;
    default:
      return 0;
  }
}

bool EndsProcessOnReturn(DWORD controlType) {
  return controlType == CTRL_CLOSE_EVENT || controlType == CTRL_LOGOFF_EVENT || controlType == CTRL_SHUTDOWN_EVENT;
}

// Runs on a thread that Windows starts for the event. Ctrl-C and Ctrl-Break
// only mark the stop; the run notices it and ends itself. A closing console
// ends the process when this returns, so the handler waits for the run's
// teardown (goodbye to the interface, device closed) first.
BOOL WINAPI OnConsoleControl(DWORD controlType) {
  const int signalNumber = SignalForControlEvent(controlType);
  if (signalNumber == 0) return FALSE;
  RequestStop(signalNumber);
  if (EndsProcessOnReturn(controlType)) WaitForSingleObject(RunEndedEvent(), kTeardownGraceMs);
  return TRUE;
}

}  // namespace

HANDLE StopWakeEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

void RequestStop(int signalNumber) {
  int expected = 0;
  stopSignal.compare_exchange_strong(expected, signalNumber);
  SetEvent(StopWakeEvent());
}

StopWatch::StopWatch() {
  stopSignal.store(0);
  ResetEvent(StopWakeEvent());
  ResetEvent(RunEndedEvent());
  timeBeginPeriod(kTimerResolutionMs);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopWatch::~StopWatch() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  timeEndPeriod(kTimerResolutionMs);
  SetEvent(RunEndedEvent());
}

bool StopRequested() { return stopSignal.load() != 0; }

int StopExitCode() {
  const int signalNumber = stopSignal.load();
  return signalNumber == 0 ? 0 : kSignalExitBase + signalNumber;
}

bool SleepUnlessStopped(uint32_t milliseconds) {
  if (StopRequested()) return true;
  WaitForSingleObject(StopWakeEvent(), milliseconds);
  return StopRequested();
}
