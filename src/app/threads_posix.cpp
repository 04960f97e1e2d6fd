#include <pthread.h>
#include <unistd.h>

#include <new>

#include "app/threads.h"

unsigned ProcessorCount() {
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<unsigned>(count) : 1;
}

struct Monitor::Native {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t condition = PTHREAD_COND_INITIALIZER;
};

Monitor::Monitor() : native_(new Native) {}
Monitor::~Monitor() {
  pthread_cond_destroy(&native_->condition);
  pthread_mutex_destroy(&native_->mutex);
}
void Monitor::lock() { pthread_mutex_lock(&native_->mutex); }
void Monitor::unlock() { pthread_mutex_unlock(&native_->mutex); }
void Monitor::wait() { pthread_cond_wait(&native_->condition, &native_->mutex); }
void Monitor::notifyAll() { pthread_cond_broadcast(&native_->condition); }

struct Thread::Native {
  pthread_t thread{};
  bool running = false;
  void (*body)(void*) = nullptr;
  void* argument = nullptr;
};

namespace {

void* Run(void* native) {
  Thread::Native* n = static_cast<Thread::Native*>(native);
  n->body(n->argument);
  return nullptr;
}

}  // namespace

Thread::Thread() : native_(new Native) {}
Thread::~Thread() { join(); }

bool Thread::start(void (*body)(void*), void* argument) {
  native_->body = body;
  native_->argument = argument;
  native_->running = pthread_create(&native_->thread, nullptr, Run, native_.get()) == 0;
  return native_->running;
}

void Thread::join() {
  if (!native_->running) return;
  pthread_join(native_->thread, nullptr);
  native_->running = false;
}
