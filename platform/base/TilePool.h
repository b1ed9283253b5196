// A fixed set of worker threads that share out the indices of a job: the tiles of a frame,
// the layer records of a document. The threads are made once (one fewer than the cores the
// process may run on: the calling thread works too) and sleep between jobs; Run hands the
// indices out in rising order and returns only when every one has been handled, so a
// caller's locks cover the whole job.
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

class TilePool {
 public:
  // fn(context, index, worker): worker is 0 for the calling thread, 1..Workers()-1 for the pool's.
  using Job = void (*)(void* context, int index, int worker);

  // The cores this process may run on (a process bound to two cores counts two).
  static int Cores();

  // threads: how many take part, the caller included; 0 follows Cores().
  explicit TilePool(int threads = 0);
  ~TilePool();
  TilePool(const TilePool&) = delete;
  TilePool& operator=(const TilePool&) = delete;

  // Everyone who takes part in a Run, the caller included.
  int Workers() const { return int(m_threads.size()) + 1; }
  // Calls job for every index in 0..count-1, each once, on any of the workers; one Run at a time.
  void Run(int count, Job job, void* context);

 private:
  void Loop(int worker);
  // Takes indices until none is left.
  void Drain(int worker);

  std::vector<std::thread> m_threads;
  std::mutex m_mutex;
  std::condition_variable m_wake, m_done;
  bool m_stop = false;
  // The current Run, all under the mutex: a worker reads the job with the index it takes, so
  // one that wakes late finds either nothing left or the next Run's job and index.
  Job m_job = nullptr;
  void* m_context = nullptr;
  int m_count = 0;
  int m_next = 0;      // the next index to hand out
  int m_finished = 0;  // indices done
};
