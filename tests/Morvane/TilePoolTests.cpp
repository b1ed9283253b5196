// The tile pool: every index handled once per Run, by the pool's own threads (made once,
// not per Run), and Run returns only when all are done.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/base/TilePool.h"

namespace {

struct Tally {
  std::vector<std::atomic<int>> hits;
  std::mutex mutex;
  std::set<std::thread::id> threads;
  std::atomic<bool> badWorker{false};
  int workers = 0;
  explicit Tally(int n, int w) : hits(size_t(n)), workers(w) {}
};

void Count(void* context, int index, int worker) {
  auto* t = static_cast<Tally*>(context);
  if (worker < 0 || worker >= t->workers) t->badWorker = true;
  // A little work, so that the threads overlap.
  std::this_thread::sleep_for(std::chrono::microseconds(index % 7 == 0 ? 50 : 2));
  t->hits[size_t(index)].fetch_add(1);
  std::lock_guard<std::mutex> lock(t->mutex);
  t->threads.insert(std::this_thread::get_id());
}

TEST(TilePool, EveryIndexOnceOnAFixedSetOfThreads) {
  for (int threads : {1, 3, 8}) {
    SCOPED_TRACE(threads);
    TilePool pool(threads);
    ASSERT_EQ(pool.Workers(), threads);
    std::set<std::thread::id> seen;
    for (int count : {0, 1, 2, 135, 40, 135}) {
      for (int round = 0; round < 10; ++round) {
        Tally tally(count, threads);
        pool.Run(count, &Count, &tally);
        // Run has returned: every index is counted, exactly once.
        for (int i = 0; i < count; ++i) ASSERT_EQ(tally.hits[size_t(i)].load(), 1) << "index " << i;
        EXPECT_FALSE(tally.badWorker);
        seen.insert(tally.threads.begin(), tally.threads.end());
      }
    }
    // The caller and the pool's threads: no thread is made per Run.
    EXPECT_LE(int(seen.size()), threads);
  }
}

// Following the machine: at least one taker, never more than the cores there are.
TEST(TilePool, DefaultFollowsTheCores) {
  TilePool pool;
  EXPECT_GE(pool.Workers(), 1);
  EXPECT_LE(pool.Workers(), int(std::max(1u, std::thread::hardware_concurrency())));
}

}  // namespace
