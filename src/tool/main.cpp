#include "platform/stop_request.h"
#include "tool/main_routine.h"
#include "tool/tool_output.h"

int main(int argc, char** argv) {
  PrepareOutput();
  StopWatch stopWatch;
  return RunMainRoutine(argc, argv);
}
