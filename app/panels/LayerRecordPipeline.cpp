#include "LayerRecordPipeline.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

#include "odata/GError.h"
#include "odata/RecordStream.h"
#include "platform/base/TilePool.h"

namespace layer_records {
namespace {

// The file's turns: a worker waits for its record's turn and passes it on. The pool hands
// records out in rising order, so the record whose turn it is is always being worked on.
class Turns {
 public:
  void Wait(int index) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_turn.wait(lock, [&] { return m_next == index; });
  }
  void Pass() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      ++m_next;
    }
    m_turn.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_turn;
  int m_next = 0;
};

// What became of one record: done, or not, with the error it threw.
struct Outcome {
  bool done = false;
  std::exception_ptr error;
};

// The state every worker of one save or load shares.
struct Run {
  Run(OLayer* const* l, UINT count, JobControl* j) : layers(l), job(j), outcomes(count), sizes(count, 0) {}
  OLayer* const* layers;
  JobControl* job;
  OFileIn* in = nullptr;
  OFileOut* out = nullptr;
  const int64_t* recordAt = nullptr;
  OShowDevice* device = nullptr;
  Turns turns;
  std::vector<Outcome> outcomes;
  std::vector<int64_t> sizes;
  // Set in a failed record's turn (or once its stream failed): records after it are not
  // started, as one thread would have stopped there.
  std::atomic<bool> stop{false};
};

// Frees an error record nobody will see.
void Drop(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (GErrRecord* e) {
    e->AddRef();
    e->Release();
  } catch (...) {
  }
}

// The first record in order that failed decides, as on one thread: its error is thrown,
// else its index returned; -1 when every record is done. Errors of records after it are
// dropped: one thread would never have reached them.
int FirstFailure(std::vector<Outcome>& outcomes) {
  int first = -1;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    if (first < 0 && !outcomes[i].done) {
      first = int(i);
    } else if (outcomes[i].error) {
      Drop(outcomes[i].error);
    }
  }
  if (first >= 0 && outcomes[size_t(first)].error) std::rethrow_exception(outcomes[size_t(first)].error);
  return first;
}

void SaveOne(void* context, int index, int) {
  Run& run = *static_cast<Run*>(context);
  Outcome& outcome = run.outcomes[size_t(index)];
  OLayer* layer = run.layers[index];
  RecordStream stream;
  bool coded = false;
  if (!run.stop) {
    try {
      coded = layer->EncodeRecord(&stream, run.job) != FALSE;
    } catch (...) {
      outcome.error = std::current_exception();
    }
  }
  run.turns.Wait(index);
  if (coded && !run.stop) {
    try {
      run.sizes[size_t(index)] = layer->WriteRecord(run.out, &stream, run.job);
      outcome.done = run.sizes[size_t(index)] >= 1;
    } catch (...) {
      outcome.error = std::current_exception();
    }
  }
  if (!outcome.done) run.stop = true;
  run.turns.Pass();
}

void LoadOne(void* context, int index, int) {
  Run& run = *static_cast<Run*>(context);
  Outcome& outcome = run.outcomes[size_t(index)];
  OLayer* layer = run.layers[index];
  RecordStream stream;
  bool read = false;
  run.turns.Wait(index);
  if (!run.stop) {
    try {
      read = run.in->Seek(run.recordAt[index], 0) && layer->ReadRecord(run.in, run.device, &stream) >= 1;
    } catch (...) {
      outcome.error = std::current_exception();
    }
  }
  if (!read) run.stop = true;
  run.turns.Pass();
  if (!read) return;
  try {
    outcome.done = layer->DecodeRecord(&stream, run.job) != FALSE;
  } catch (...) {
    outcome.error = std::current_exception();
  }
  if (!outcome.done) run.stop = true;
}

// As many workers as cores, but no more than records.
int Workers(UINT count) { return std::max(1, std::min(TilePool::Cores(), int(count))); }

}  // namespace

BOOL Save(OLayer* const* layers, UINT count, OFileOut* file, JobControl* job, uint64_t* bytes) {
  if (count == 0) return TRUE;
  Run run(layers, count, job);
  run.out = file;
  TilePool pool(Workers(count));
  pool.Run(int(count), SaveOne, &run);
  if (FirstFailure(run.outcomes) >= 0) return FALSE;
  for (int64_t n : run.sizes) *bytes += uint64_t(n);
  return TRUE;
}

int Load(OLayer* const* layers, const int64_t* recordAt, UINT count, OFileIn* file, JobControl* job,
         OShowDevice* device) {
  if (count == 0) return -1;
  Run run(layers, count, job);
  run.in = file;
  run.recordAt = recordAt;
  run.device = device;
  TilePool pool(Workers(count));
  pool.Run(int(count), LoadOne, &run);
  return FirstFailure(run.outcomes);
}

}  // namespace layer_records
