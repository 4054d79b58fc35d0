#include "tool/run_stop.h"

#include "platform/stop_request.h"
#include "tool/tool_output.h"

namespace {

// What a shell reports for a writer whose reader went away (128 + SIGPIPE).
constexpr int kClosedOutputExitCode = 141;

}  // namespace

bool RunStopPending() { return StopRequested() || OutputClosed(); }

int EndStoppedRun() {
  if (StopRequested()) {
    Print("\nInterrupted.\n");
    return StopExitCode();
  }
  return kClosedOutputExitCode;
}
