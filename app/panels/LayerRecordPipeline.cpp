#include "LayerRecordPipeline.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
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
  Run(OLayer* const* l, UINT count, JobControl* j)
      : layers(l), job(j), outcomes(count), sizes(count, 0), state(count, kCoding), streams(count) {}
  OLayer* const* layers;
  JobControl* job;
  OFileIn* in = nullptr;
  OFileOut* out = nullptr;
  const int64_t* recordAt = nullptr;
  OShowDevice* device = nullptr;
  Turns turns;  // the load's reading order
  std::vector<Outcome> outcomes;
  std::vector<int64_t> sizes;
  // The save's writing order, under the mutex: each record's coding state and stream, the
  // streams written and free for the next record, the next record to write, the records
  // taken but not yet written and their bound.
  enum State : char { kCoding, kCoded, kFailed };
  std::mutex mutex;
  std::condition_variable room;
  std::vector<State> state;
  std::vector<std::unique_ptr<RecordStream>> streams;
  std::vector<std::unique_ptr<RecordStream>> written;
  // The load's streams, one for each worker, each read into record after record.
  std::vector<RecordStream> reading;
  int next = 0;
  int inFlight = 0;
  int limit = 1;
  bool writing = false;
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

// Save: a worker codes its record and leaves it to be written in record order; whoever finds
// the next record to write coded writes it and every coded one after it, while the others
// go on coding. A worker starts coding only while fewer than workers records are coded or
// being coded and not yet written, or when its record is the next to write: at most
// workers + 1 in memory, and a slow record holds up no worker.
void WriteReady(Run& run, std::unique_lock<std::mutex>& lock) {
  run.writing = true;
  while (run.next < int(run.state.size()) && run.state[size_t(run.next)] != Run::kCoding) {
    const size_t i = size_t(run.next);
    std::unique_ptr<RecordStream> stream = std::move(run.streams[i]);
    const bool write = run.state[i] == Run::kCoded && !run.stop;
    lock.unlock();
    Outcome& outcome = run.outcomes[i];
    if (write) {
      try {
        run.sizes[i] = run.layers[i]->WriteRecord(run.out, stream.get(), run.job);
        outcome.done = run.sizes[i] >= 1;
      } catch (...) {
        outcome.error = std::current_exception();
      }
    }
    // Records after a failed one are neither coded nor written, as one thread would stop.
    if (!outcome.done) run.stop = true;
    stream->Clear();
    lock.lock();
    run.written.push_back(std::move(stream));
    ++run.next;
    --run.inFlight;
    run.room.notify_all();
  }
  run.writing = false;
}

void SaveOne(void* context, int index, int) {
  Run& run = *static_cast<Run*>(context);
  std::unique_ptr<RecordStream> stream;
  {
    std::unique_lock<std::mutex> lock(run.mutex);
    // The next record to write always starts: the records after it, coded first, wait for it.
    run.room.wait(lock, [&] { return run.inFlight < run.limit || index == run.next; });
    ++run.inFlight;
    // A written stream's memory is already mapped in: fresh memory costs a fault a page.
    if (!run.written.empty()) {
      stream = std::move(run.written.back());
      run.written.pop_back();
    }
  }
  if (!stream) stream = std::make_unique<RecordStream>();
  bool coded = false;
  if (!run.stop) {
    try {
      coded = run.layers[index]->EncodeRecord(stream.get(), run.job) != FALSE;
    } catch (...) {
      run.outcomes[size_t(index)].error = std::current_exception();
    }
  }
  std::unique_lock<std::mutex> lock(run.mutex);
  run.state[size_t(index)] = coded ? Run::kCoded : Run::kFailed;
  run.streams[size_t(index)] = std::move(stream);
  if (!run.writing) WriteReady(run, lock);
}

void LoadOne(void* context, int index, int worker) {
  Run& run = *static_cast<Run*>(context);
  Outcome& outcome = run.outcomes[size_t(index)];
  OLayer* layer = run.layers[index];
  RecordStream& stream = run.reading[size_t(worker)];
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
  run.limit = pool.Workers();
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
  run.reading.resize(size_t(pool.Workers()));
  pool.Run(int(count), LoadOne, &run);
  return FirstFailure(run.outcomes);
}

}  // namespace layer_records
