// A document's layer records written and read on every core the process may use. Workers
// of a pool code the streams; the file is written and read in record order, so it is what
// one thread writes record by record. At most workers + 1 coded streams are in memory.
#pragma once
#include <cstdint>

#include "odata/OFile.h"
#include "odata/OLayer.h"
#include "odata/OShowDevice.h"
#include "odata/OWorker.h"

namespace layer_records {

// Writes the records of layers[0..count) at the file's position, one after another, and
// adds their sizes to *bytes. FALSE when one fails or the job is aborted: the file then
// holds whole records before it and no header over a cut stream. An error a record throws
// is thrown here, as the first failing record would have thrown on one thread.
BOOL Save(OLayer* const* layers, UINT count, OFileOut* file, JobControl* job, uint64_t* bytes);

// Reads the record at recordAt[i] into the empty layer layers[i], for every i below count.
// The index of the first record that fails (in record order), or -1 when all are loaded;
// errors are thrown as Save's are.
int Load(OLayer* const* layers, const int64_t* recordAt, UINT count, OFileIn* file, JobControl* job,
         OShowDevice* device);

}  // namespace layer_records
