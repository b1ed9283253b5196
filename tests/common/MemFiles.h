// Files in memory for the tests of layer records and sections.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "odata/OFile.h"
#include "odata/OWorker.h"

// Memory files counting their references, so a leaked one shows. The writer can fail its
// writes past a byte count or raise a job's abort bit once some bytes are written; the
// reader remembers how far it was ever read.
class MemOut final : public OFileOut {
 public:
  explicit MemOut(std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  BOOL Open(const char16_t*) override { return TRUE; }
  BOOL Seek(int64_t offset, int origin) override {
    int64_t to = (origin == 0 ? 0 : origin == 1 ? int64_t(pos) : int64_t(m_bytes.size())) + offset;
    if (to < 0) return FALSE;
    pos = size_t(to);
    return TRUE;
  }
  int64_t Tell() override { return int64_t(pos); }
  BOOL IsError() override { return failed; }
  BOOL Close() override { return TRUE; }
  BOOL Flush() override { return TRUE; }
  size_t Write(const void* p, size_t size, size_t count) override {
    size_t n = size * count;
    if (failed || written + n > failAfter) {
      failed = TRUE;
      return 0;
    }
    if (pos + n > m_bytes.size()) m_bytes.resize(pos + n);
    std::memcpy(m_bytes.data() + pos, p, n);
    pos += n;
    written += n;
    if (abortJob && written >= abortAfter) abortJob->flags |= JOB_ABORT;
    return count;
  }

  int32_t refs = 0;
  size_t pos = 0;
  size_t written = 0;
  size_t failAfter = SIZE_MAX;
  JobControl* abortJob = nullptr;
  size_t abortAfter = 0;
  BOOL failed = FALSE;

 private:
  std::vector<uint8_t>& m_bytes;
};

class MemIn final : public OFileIn {
 public:
  explicit MemIn(const std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  BOOL Open(const char16_t*) override { return TRUE; }
  BOOL Seek(int64_t offset, int origin) override {
    int64_t to = (origin == 0 ? 0 : origin == 1 ? int64_t(pos) : int64_t(m_bytes.size())) + offset;
    if (to < 0) return FALSE;
    pos = size_t(to);
    eof = FALSE;
    return TRUE;
  }
  int64_t Tell() override { return int64_t(pos); }
  BOOL IsError() override { return FALSE; }
  BOOL Close() override { return TRUE; }
  size_t Read(void* p, size_t size, size_t count) override {
    size_t want = size * count;
    if (!want) return 0;
    size_t n = std::min(want, pos < m_bytes.size() ? m_bytes.size() - pos : 0);
    std::memcpy(p, m_bytes.data() + pos, n);
    pos += n;
    highWater = std::max(highWater, pos);
    if (n < want) eof = TRUE;
    return n / size;
  }
  BOOL IsEof() override { return eof; }
  int64_t GetLength() override { return int64_t(m_bytes.size()); }

  int32_t refs = 0;
  size_t pos = 0;
  size_t highWater = 0;
  BOOL eof = FALSE;

 private:
  const std::vector<uint8_t>& m_bytes;
};
