#pragma once

// A run ends early, cleanly, when a stop is requested from outside (Ctrl-C,
// a termination request, a hang-up) or when its standard output is closed:
// the caller leaves the way any other end does, so the terminal is restored
// and the interface gets its goodbye.
bool RunStopPending();

// Prints "\nInterrupted.\n" (where the output still takes it) and returns
// the exit code of the stop: 128 plus the signal number, 130 for Ctrl-C,
// 141 for a closed output, as a shell reports the same signals.
int EndStoppedRun();
