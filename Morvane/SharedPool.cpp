#include "SharedPool.h"

#include <atomic>
#include <thread>

namespace shared_pool {
namespace {

struct Shared {
  TilePool pool;
  std::atomic<bool> busy{false};
  bool Take() {
    bool free = false;
    return busy.compare_exchange_strong(free, true, std::memory_order_acquire);
  }
  void Give() { busy.store(false, std::memory_order_release); }
};

// Made on first use, its threads asleep between jobs; ends with the plug-in.
Shared& Instance() {
  static Shared shared;
  return shared;
}

}  // namespace

int Workers() { return Instance().pool.Workers(); }

void Run(int count, TilePool::Job job, void* context) {
  Shared& shared = Instance();
  if (!shared.Take()) {
    for (int i = 0; i < count; ++i) job(context, i, 0);
    return;
  }
  struct Giver {
    Shared& s;
    ~Giver() { s.Give(); }
  } giver{shared};
  shared.pool.Run(count, job, context);
}

Occupied::Occupied() {
  while (!Instance().Take()) std::this_thread::yield();
}

Occupied::~Occupied() { Instance().Give(); }

}  // namespace shared_pool
