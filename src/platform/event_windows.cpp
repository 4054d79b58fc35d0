#include "platform/event.h"

#include <windows.h>

#include "platform/clock.h"

struct Event::Native {
  HANDLE handle = nullptr;
};

// A manual-reset event, created clear.
Event::Event() : native_(new Native) { native_->handle = CreateEventW(nullptr, TRUE, FALSE, nullptr); }

Event::~Event() {
  if (native_->handle != nullptr) CloseHandle(native_->handle);
}

void Event::Set() { SetEvent(native_->handle); }

void Event::Reset() { ResetEvent(native_->handle); }

bool Event::IsSet() { return WaitForSingleObject(native_->handle, 0) == WAIT_OBJECT_0; }

bool Event::Wait(uint32_t milliseconds) {
  static_assert(kWaitForever == INFINITE, "no limit must mean the same to Windows");
  return WaitForSingleObject(native_->handle, milliseconds) == WAIT_OBJECT_0;
}
