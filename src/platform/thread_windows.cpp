#include "platform/thread.h"

#include <windows.h>

namespace {

// What the new thread runs, kept alive by Native until the thread is joined.
struct ThreadStart {
  Thread::Entry entry = nullptr;
  void* parameter = nullptr;
};

DWORD WINAPI RunThreadStart(LPVOID raw) {
  const ThreadStart* start = static_cast<const ThreadStart*>(raw);
  return start->entry(start->parameter);
}

}  // namespace

struct Thread::Native {
  HANDLE handle = nullptr;
  ThreadStart start;
};

Thread::Thread() : native_(new Native) {}

Thread::~Thread() { Join(); }

bool Thread::Start(Entry entry, void* parameter) {
  if (native_->handle != nullptr) return false;
  native_->start.entry = entry;
  native_->start.parameter = parameter;
  native_->handle = CreateThread(nullptr, 0, RunThreadStart, &native_->start, 0, nullptr);
  return native_->handle != nullptr;
}

bool Thread::Started() const { return native_->handle != nullptr; }

void Thread::Join() {
  if (native_->handle == nullptr) return;
  WaitForSingleObject(native_->handle, INFINITE);
  CloseHandle(native_->handle);
  native_->handle = nullptr;
}
