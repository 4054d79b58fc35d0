#include "platform/lock.h"

#include <pthread.h>

struct Lock::Native {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};

Lock::Lock() : native_(new Native) {}

Lock::~Lock() { pthread_mutex_destroy(&native_->mutex); }

void Lock::Acquire() { pthread_mutex_lock(&native_->mutex); }

void Lock::Release() { pthread_mutex_unlock(&native_->mutex); }
