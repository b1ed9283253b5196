#include "Sync.h"

#include <chrono>
#include <ctime>

namespace plat {

void Event::Set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = true;
  }
  m_cv.notify_one();
}

BOOL Event::Wait(int ms) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (ms < 0) {
    m_cv.wait(lock, [this] { return m_signalled; });
  } else if (!m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_signalled; })) {
    return FALSE;
  }
  m_signalled = false;  // auto-reset: one waiter takes it
  return TRUE;
}

Thread::~Thread() { Join(); }

BOOL Thread::Start(std::function<void()> fn) {
  if (m_thread.joinable()) return FALSE;
  try {
    m_thread = std::thread(std::move(fn));
  } catch (const std::system_error&) {
    return FALSE;
  }
  return TRUE;
}

void Thread::Join() {
  if (m_thread.joinable()) m_thread.join();
}

void Sleep(DWORD ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

DWORD GetTickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void GetLocalTime(SYSTEMTIME* st) {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  st->wYear = WORD(tm.tm_year + 1900);
  st->wMonth = WORD(tm.tm_mon + 1);
  st->wDayOfWeek = WORD(tm.tm_wday);
  st->wDay = WORD(tm.tm_mday);
  st->wHour = WORD(tm.tm_hour);
  st->wMinute = WORD(tm.tm_min);
  st->wSecond = WORD(tm.tm_sec);
  st->wMilliseconds = WORD(ms);
}

}  // namespace plat
