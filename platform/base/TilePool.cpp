#include "platform/base/TilePool.h"

#include <algorithm>
#ifdef __linux__
#include <sched.h>
#endif

int TilePool::Cores() {
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

TilePool::TilePool(int threads) {
  if (threads <= 0) threads = Cores();
  m_threads.reserve(size_t(threads - 1));
  for (int w = 1; w < threads; ++w) m_threads.emplace_back(&TilePool::Loop, this, w);
}

TilePool::~TilePool() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stop = true;
  }
  m_wake.notify_all();
  for (std::thread& t : m_threads) t.join();
}

void TilePool::Drain(int worker) {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (m_next < m_count) {
    const int index = m_next++;
    const Job job = m_job;
    void* const context = m_context;
    lock.unlock();
    job(context, index, worker);
    lock.lock();
    if (++m_finished == m_count) m_done.notify_one();
  }
}

void TilePool::Loop(int worker) {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [&] { return m_stop || m_next < m_count; });
      if (m_stop) return;
    }
    Drain(worker);
  }
}

void TilePool::Run(int count, Job job, void* context) {
  if (count <= 0) return;
  if (m_threads.empty() || count == 1) {
    for (int i = 0; i < count; ++i) job(context, i, 0);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_job = job;
    m_context = context;
    m_count = count;
    m_next = 0;
    m_finished = 0;
  }
  m_wake.notify_all();
  Drain(0);
  // Every index done (not every worker woken: a thread the system has not yet run would
  // hold the frame up).
  std::unique_lock<std::mutex> lock(m_mutex);
  m_done.wait(lock, [&] { return m_finished == m_count; });
}
