#include "platform/event.h"

#include <pthread.h>
#include <time.h>

#include "platform/clock.h"

struct Event::Native {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t changed;
  bool set = false;
};

Event::Event() : native_(new Native) {
  // Waits are measured on the monotonic clock so that a change of the wall
  // clock neither stretches nor cuts them short.
  pthread_condattr_t attributes;
  pthread_condattr_init(&attributes);
#if !defined(__APPLE__)
  pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
#endif
  pthread_cond_init(&native_->changed, &attributes);
  pthread_condattr_destroy(&attributes);
}

Event::~Event() {
  pthread_cond_destroy(&native_->changed);
  pthread_mutex_destroy(&native_->mutex);
}

void Event::Set() {
  pthread_mutex_lock(&native_->mutex);
  native_->set = true;
  pthread_cond_broadcast(&native_->changed);
  pthread_mutex_unlock(&native_->mutex);
}

void Event::Reset() {
  pthread_mutex_lock(&native_->mutex);
  native_->set = false;
  pthread_mutex_unlock(&native_->mutex);
}

bool Event::IsSet() {
  pthread_mutex_lock(&native_->mutex);
  const bool set = native_->set;
  pthread_mutex_unlock(&native_->mutex);
  return set;
}

namespace {

// The absolute time, on the clock the condition variable measures with,
// that lies the given number of milliseconds from now.
timespec DeadlineAfter(uint32_t milliseconds) {
  timespec deadline;
#if defined(__APPLE__)
  clock_gettime(CLOCK_REALTIME, &deadline);
#else
  clock_gettime(CLOCK_MONOTONIC, &deadline);
#endif
  constexpr long kNanosPerSecond = 1000000000L;
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000u);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000u) * 1000000L;
  if (deadline.tv_nsec >= kNanosPerSecond) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= kNanosPerSecond;
  }
  return deadline;
}

}  // namespace

bool Event::Wait(uint32_t milliseconds) {
  pthread_mutex_lock(&native_->mutex);
  if (milliseconds == kWaitForever) {
    while (!native_->set) pthread_cond_wait(&native_->changed, &native_->mutex);
  } else {
    const timespec deadline = DeadlineAfter(milliseconds);
    while (!native_->set) {
      if (pthread_cond_timedwait(&native_->changed, &native_->mutex, &deadline) != 0) break;
    }
  }
  const bool set = native_->set;
  pthread_mutex_unlock(&native_->mutex);
  return set;
}
