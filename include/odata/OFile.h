// File objects that document sections and layer records read and write through.
#pragma once
#include <atomic>
#include <cstdint>
#include <cstdio>

#include "OBeing.h"
#include "platform/base/Types.h"

struct ODATA_EXPORT OFileIn : OBeing {
  virtual BOOL Open(const char16_t* path) = 0;
  virtual BOOL Seek(int64_t offset, int origin) = 0;
  virtual int64_t Tell() = 0;
  // TRUE without a file.
  virtual BOOL IsError() = 0;
  virtual BOOL Close() = 0;
  // Items read; 0 without a file.
  virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
  virtual BOOL IsEof() = 0;
  virtual int64_t GetLength() = 0;
  BOOL IsValid() { return IsError() ? FALSE : TRUE; }
};

struct ODATA_EXPORT OFileOut : OBeing {
  virtual BOOL Open(const char16_t* path) = 0;
  virtual BOOL Seek(int64_t offset, int origin) = 0;
  virtual int64_t Tell() = 0;
  virtual BOOL IsError() = 0;
  virtual BOOL Close() = 0;
  virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
  virtual BOOL Flush() = 0;
  BOOL IsValid() { return IsError() ? FALSE : TRUE; }
};

// Buffered stdio files (count starts at 0). The writer opens with "wb", the reader with "rb".
class ODATA_EXPORT CFileIn final : public OFileIn {
 public:
  ~CFileIn() override;
  int32_t AddRef() override;
  int32_t Release() override;
  BOOL Open(const char16_t* path) override;
  BOOL Seek(int64_t offset, int origin) override;
  int64_t Tell() override;
  BOOL IsError() override;
  BOOL Close() override;
  size_t Read(void* buffer, size_t size, size_t count) override;
  BOOL IsEof() override;
  int64_t GetLength() override;

 private:
  int32_t m_refs = 0;
  FILE* m_file = nullptr;
};

class ODATA_EXPORT CFileOut final : public OFileOut {
 public:
  ~CFileOut() override;
  int32_t AddRef() override;
  int32_t Release() override;
  BOOL Open(const char16_t* path) override;
  BOOL Seek(int64_t offset, int origin) override;
  int64_t Tell() override;
  BOOL IsError() override;
  BOOL Close() override;
  size_t Write(const void* buffer, size_t size, size_t count) override;
  BOOL Flush() override;
  // Takes over a stream already open for writing (an exclusively created file); FALSE when
  // a file is open already.
  BOOL Attach(FILE* file);
  // The errno of the first open, write, seek, flush or close that failed (EIO when the
  // system named none); 0 while all went well. Kept here because the writes may run on
  // another thread than the one that asks why the file failed.
  int GetError() const { return m_nError.load(); }

 private:
  BOOL Failed();
  int32_t m_refs = 0;
  FILE* m_file = nullptr;
  std::atomic<int> m_nError{0};
};
