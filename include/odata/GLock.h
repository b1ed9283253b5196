// A recursive critical-section lock and its scoped holder.
#pragma once
#include "platform/base/Sync.h"

class GLock {
 public:
  GLock() = default;
  virtual ~GLock() = default;
  GLock(const GLock&) = delete;
  GLock& operator=(const GLock&) = delete;
  virtual void Enter() { m_cs.Enter(); }
  virtual void Leave() { m_cs.Leave(); }

 private:
  plat::CriticalSection m_cs;
};

class GAutoLock {
 public:
  explicit GAutoLock(GLock* lock) : m_lock(lock) {
    if (m_lock) m_lock->Enter();
  }
  GAutoLock(GLock& lock) : GAutoLock(&lock) {}
  ~GAutoLock() { Release(); }
  GAutoLock(const GAutoLock&) = delete;
  GAutoLock& operator=(const GAutoLock&) = delete;
  // Leaves the lock early (once).
  void Release() {
    if (m_lock) m_lock->Leave();
    m_lock = nullptr;
  }

 private:
  GLock* m_lock;
};
