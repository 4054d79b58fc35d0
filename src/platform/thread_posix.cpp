#include "platform/thread.h"

#include <pthread.h>

struct Thread::Native {
  pthread_t handle{};
  bool started = false;
  Entry entry = nullptr;
  void* parameter = nullptr;
};

Thread::Thread() : native_(new Native) {}

Thread::~Thread() { Join(); }

bool Thread::Start(Entry entry, void* parameter) {
  if (native_->started) return false;
  native_->entry = entry;
  native_->parameter = parameter;
  auto trampoline = [](void* raw) -> void* {
    auto* native = static_cast<Native*>(raw);
    native->entry(native->parameter);
    return nullptr;
  };
  native_->started = pthread_create(&native_->handle, nullptr, trampoline, native_.get()) == 0;
  return native_->started;
}

bool Thread::Started() const { return native_->started; }

void Thread::Join() {
  if (!native_->started) return;
  pthread_join(native_->handle, nullptr);
  native_->started = false;
}
