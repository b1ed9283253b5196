// The layer engine's pool for work inside one call that splits into independent parts: the
// rows of a layer's reduced level, the tile rows of a sampled composition. One caller at a
// time has it; a caller that finds it taken runs its parts on its own thread, so no thread
// ever waits for another's job and the result is the same either way.
#pragma once
#include "platform/base/TilePool.h"

namespace shared_pool {

// Calls job(context, index, worker) for every index below count and returns when all are
// done; worker is below Workers().
void Run(int count, TilePool::Job job, void* context);

// How many may take part in one Run.
int Workers();

// Takes the pool for as long as it lives (waiting for a Run under way): every Run meanwhile,
// on any thread, runs its parts on its caller's thread alone.
class Occupied {
 public:
  Occupied();
  ~Occupied();
  Occupied(const Occupied&) = delete;
  Occupied& operator=(const Occupied&) = delete;
};

}  // namespace shared_pool
