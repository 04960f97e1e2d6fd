// Threads for the workers of a run, over the platform's own: POSIX threads on Linux, the
// system's threads, slim locks and condition variables on Windows (Vista on), so that the stub
// links no thread runtime of a compiler's library.
#pragma once

#include <cstdint>
#include <memory>

// The cores that can run a thread of this process; at least 1.
unsigned ProcessorCount();

// A lock with one condition to wait on.
class Monitor {
 public:
  Monitor();
  ~Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  void lock();
  void unlock();
  // With the lock held: releases it, waits for a notification (or a spurious wake-up) and
  // takes it again.
  void wait();
  void notifyAll();

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};

class MonitorLock {
 public:
  explicit MonitorLock(Monitor& monitor) : monitor_(monitor) { monitor_.lock(); }
  ~MonitorLock() { monitor_.unlock(); }
  MonitorLock(const MonitorLock&) = delete;
  MonitorLock& operator=(const MonitorLock&) = delete;

 private:
  Monitor& monitor_;
};

// A thread running body(argument); joined by join() or the destructor.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // False when the system made no thread.
  bool start(void (*body)(void*), void* argument);
  void join();

  struct Native;

 private:
  std::unique_ptr<Native> native_;
};
