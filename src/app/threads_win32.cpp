#include <windows.h>

#include "app/threads.h"

unsigned ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

struct Monitor::Native {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Monitor::Monitor() : native_(new Native) {}
Monitor::~Monitor() = default;
void Monitor::lock() { AcquireSRWLockExclusive(&native_->lock); }
void Monitor::unlock() { ReleaseSRWLockExclusive(&native_->lock); }
void Monitor::wait() { SleepConditionVariableSRW(&native_->condition, &native_->lock, INFINITE, 0); }
void Monitor::notifyAll() { WakeAllConditionVariable(&native_->condition); }

struct Thread::Native {
  HANDLE thread = nullptr;
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
};

namespace {

DWORD WINAPI Run(LPVOID native) {
  Thread::Native* n = static_cast<Thread::Native*>(native);
  n->body(n->argument);
  return 0;
}

}  // namespace

Thread::Thread() : native_(new Native) {}
Thread::~Thread() { join(); }

bool Thread::start(void (*body)(void*), void* argument) {
  native_->body = body;
  native_->argument = argument;
  native_->thread = CreateThread(nullptr, 0, Run, native_.get(), 0, nullptr);
  return native_->thread != nullptr;
}

void Thread::join() {
  if (!native_->thread) return;
  WaitForSingleObject(native_->thread, INFINITE);
  CloseHandle(native_->thread);
  native_->thread = nullptr;
}
