#include "tool/main_routine.h"

#include "client/command_protocol.h"
#include "client/interface_client.h"
#include "platform/stop_request.h"
#include "tool/front_end_state.h"
#include "tool/parse_arguments.h"
#include "tool/run_console.h"
#include "tool/run_stop.h"
#include "tool/tool_output.h"
#include "tool/upload_image.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

constexpr uint32_t kAfterVersionPauseMs = 200;
constexpr uint32_t kAfterUploadPauseMs = 500;

constexpr uint8_t kRebootRecord[kRebootRecordSize] = {kRecordReboot};

// The phases after the command line, each entered only when the one before
// succeeded. Every return leads to the client's destruction in the caller,
// which says goodbye when the link is up. A stop requested from outside
// takes effect between steps and cuts the pauses short.
int RunConnectedPhases(InterfaceClient& client, FrontEndState& state) {
  if (!client.Connect()) {
    Print("Unable to connect to device!\n");
    if (client.InterfaceListedButNotOpened()) {
      Print("An interface was found but could not be opened: no permission? "
            "See \"Allowing access\" in the README (udev rule 70-kavlo-usb.rules).\n");
    }
    return kExitFailure;
  }
  Print("Connected to interface.\n");
  if (RunStopPending()) return EndStoppedRun();

  uint8_t major = 0;
  uint8_t minor = 0;
  char name[kVersionNameBufferSize] = {};
  if (!client.GetVersion(major, minor, name)) {
    Print("Error querying device version, aborting.\n");
    return kExitFailure;
  }
  Print("Device firmware version: %d.%d, \"%s\"\n", major, minor, name);
  if (SleepUnlessStopped(kAfterVersionPauseMs) || RunStopPending()) return EndStoppedRun();

  uint8_t kind = kRecordFirstImage;
  for (uint32_t index = 0; index < state.imageFileCount; ++index) {
    if (!UploadImage(client, state.imageFiles[index], kind)) return kExitFailure;
    kind = kRecordNextImage;
    if (SleepUnlessStopped(kAfterUploadPauseMs) || RunStopPending()) return EndStoppedRun();
  }

  const bool imagesUploaded = state.imageFileCount > 0;
  if (state.debugOutputEnabled && !client.SetDebugMode(imagesUploaded)) {
    if (!imagesUploaded) {
      Print("Error configuring debug output mode, aborting.\n");
      return kExitFailure;
    }
    Print("Error configuring debug output mode, debug output may be unavailable.\n");
  }
  if (RunStopPending()) return EndStoppedRun();

  if (imagesUploaded) {
    Print("Rebooting...");
    if (!client.SendBlock(kRebootRecord, kRebootRecordSize, kImageBlockLimitMs)) {
      Print("\n unable to reboot.\n");
      return kExitFailure;
    }
    Print("\n");
    if (RunStopPending()) return EndStoppedRun();
  }

  if (!state.debugOutputEnabled && !state.keyboardEnabled) return kExitSuccess;

  Print("Listening for %s. Press [escape] to exit.\n\n", "debug output");
  return RunConsole(client, state);
}

}  // namespace

int RunMainRoutine(int argc, char** argv) {
  PrepareOutput();
  StopWatch stopWatch;
  FrontEndState state;
  if (!ParseArguments(argc, argv, state)) return kExitFailure;
  InterfaceClient client;
  return RunConnectedPhases(client, state);
}
