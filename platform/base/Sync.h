// Threads, events, locks and time.
#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "Types.h"

namespace plat {

// An auto-reset event: Set releases one waiter (or the next one to wait).
class Event {
 public:
  void Set();
  // Waits until set; ms < 0 waits without time-out. TRUE when the event was set.
  BOOL Wait(int ms = -1);

 private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_signalled = false;
};

// A recursive critical section.
class CriticalSection {
 public:
  void Enter() { m_mutex.lock(); }
  void Leave() { m_mutex.unlock(); }
  BOOL TryEnter() { return m_mutex.try_lock() ? TRUE : FALSE; }

 private:
  std::recursive_mutex m_mutex;
};

// A joinable thread running a function.
class Thread {
 public:
  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Starts the thread; FALSE when it could not be created.
  BOOL Start(std::function<void()> fn);
  void Join();
  bool IsStarted() const { return m_thread.joinable(); }

 private:
  std::thread m_thread;
};

void Sleep(DWORD ms);
// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();
void GetLocalTime(SYSTEMTIME* st);

}  // namespace plat
