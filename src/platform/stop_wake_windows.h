#pragma once

#include <windows.h>

// The Windows side of stop_request.h that the console shares.

// A manual-reset event that is set once a stop has been requested, so that
// a wait can end early on it. It lives as long as the process.
HANDLE StopWakeEvent();

// Records a stop as the console control handler does, for a stop request
// that reaches the console as a key instead (see console_windows.cpp).
void RequestStop(int signalNumber);
