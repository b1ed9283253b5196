#include "SharedPool.h"

#include <mutex>

namespace shared_pool {
namespace {

struct Shared {
  TilePool pool;
  std::mutex busy;
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
  std::unique_lock<std::mutex> lock(shared.busy, std::try_to_lock);
  if (!lock.owns_lock()) {
    for (int i = 0; i < count; ++i) job(context, i, 0);
    return;
  }
  shared.pool.Run(count, job, context);
}

}  // namespace shared_pool
