#include "tool/run_console.h"

#include "client/command_protocol.h"
#include "client/interface_client.h"
#include "platform/console.h"
#include "tool/key_mapper.h"
#include "tool/run_stop.h"
#include "tool/tool_output.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;

// ReadDebugOutput's answer that the interface's download from the board
// timed out.
constexpr int32_t kDebugDownloadTimedOut = -2;

// The pause after an empty debug request, spent waiting for a key instead.
constexpr uint32_t kIdlePauseMs = 50;
// With debug output off there is nothing to do but wait for keys; the bound
// only keeps the loop checking in now and then.
constexpr uint32_t kKeyboardOnlyWaitMs = 250;

enum class LoopEnd { Finished, Stopped };

// One pass per iteration. Codes are gathered while they are waiting, at
// most one full key block; Escape ends the run at once, a prefix takes its
// second code with it unseen.
LoopEnd Listen(InterfaceClient& client, FrontEndState& state, Console& console, int& exitCode) {
  uint8_t text[kDebugOutputMaximum + 1];
  for (;;) {
    if (RunStopPending()) return LoopEnd::Stopped;

    uint8_t batch[kMaxKeyBlockLength];
    uint16_t count = 0;
    bool gathering = console.KeyWaiting();
    while (gathering && count < kMaxKeyBlockLength) {
      const KeyAction action = MapConsoleKey(console.ReadKey());
      switch (action.treatment) {
        case KeyTreatment::EndRun:
          Print("\nUser exit.\n");
          exitCode = kExitSuccess;
          return LoopEnd::Finished;
        case KeyTreatment::SkipExtendedKey:
          console.ReadKey();
          break;
        case KeyTreatment::Forward:
          batch[count++] = action.blockCode;
          break;
        case KeyTreatment::Drop:
          break;
      }
      gathering = console.KeyWaiting();
    }

    if (count > 0) {
      if (!client.SendBlock(batch, count, kKeyBlockLimitMs)) {
        Print("\nKey timeout, disconnected from device.\n");
        exitCode = kExitFailure;
        return LoopEnd::Finished;
      }
      if (console.KeyWaiting()) continue;
    }

    if (!state.debugOutputEnabled) {
      // Keyboard only: the end of input is the user's last word.
      if (console.InputEnded()) {
        Print("\nUser exit.\n");
        exitCode = kExitSuccess;
        return LoopEnd::Finished;
      }
      console.WaitForKey(kKeyboardOnlyWaitMs);
      continue;
    }

    const int32_t received = client.ReadDebugOutput(text);
    if (received > 0) {
      text[received] = 0;
      Print("%s", reinterpret_cast<const char*>(text));
      continue;
    }
    if (received == kDebugDownloadTimedOut) {
      Print("\nNibble-mode download timed out. Bootloader version 0.9C or earlier?\n");
      state.debugOutputEnabled = false;
      Print("Disabled download.\n\n");
      continue;
    }
    if (received < 0) {
      Print("\nDisconnected from device.\n");
      exitCode = kExitFailure;
      return LoopEnd::Finished;
    }
    console.WaitForKey(kIdlePauseMs);
  }
}

}  // namespace

int RunConsole(InterfaceClient& client, FrontEndState& state) {
  int exitCode = kExitFailure;
  LoopEnd end;
  {
    Console console;
    end = Listen(client, state, console, exitCode);
  }
  // The console is back in its own mode before the last words.
  return end == LoopEnd::Stopped ? EndStoppedRun() : exitCode;
}
