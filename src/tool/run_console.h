#pragma once

#include "tool/front_end_state.h"

class InterfaceClient;

// The listening loop: shows the board's debug output and forwards keys to
// it in blocks, until Escape, a failure, the end of input in keyboard-only
// mode, or a stop of the run. The console's key mode lasts exactly as long
// as the loop. Returns the exit code; the caller then destroys the client.
int RunConsole(InterfaceClient& client, FrontEndState& state);
