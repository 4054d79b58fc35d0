#pragma once

#include "tool/front_end_state.h"

// Reads the command line into `state`: the option "debug" and up to two
// image paths. Prints the usage text or the first fault found and returns
// false when the run is not to go on; nothing after the first fault is
// examined.
bool ParseArguments(int argc, char** argv, FrontEndState& state);
