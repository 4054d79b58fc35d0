#include "platform/lock.h"

#include <windows.h>

struct Lock::Native {
  CRITICAL_SECTION section;
};

Lock::Lock() : native_(new Native) { InitializeCriticalSection(&native_->section); }

Lock::~Lock() { DeleteCriticalSection(&native_->section); }

void Lock::Acquire() { EnterCriticalSection(&native_->section); }

void Lock::Release() { LeaveCriticalSection(&native_->section); }
