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

}  // namespace shared_pool
