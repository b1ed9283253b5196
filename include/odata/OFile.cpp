#include "OFile.h"

#include <cerrno>

#include "platform/base/Files.h"

namespace {
int Whence(int origin) { return origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END; }
}  // namespace

CFileIn::~CFileIn() { Close(); }
int32_t CFileIn::AddRef() { return ++m_refs; }
int32_t CFileIn::Release() {
  int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}
BOOL CFileIn::Open(const char16_t* path) {
  if (m_file || !path) return FALSE;
  m_file = plat::OpenFile(path, "rb");
  return m_file ? TRUE : FALSE;
}
BOOL CFileIn::Seek(int64_t offset, int origin) {
  return m_file && plat::SeekFile(m_file, offset, Whence(origin)) ? TRUE : FALSE;
}
int64_t CFileIn::Tell() { return m_file ? plat::TellFile(m_file) : -1; }
BOOL CFileIn::IsError() { return m_file ? (std::ferror(m_file) ? TRUE : FALSE) : TRUE; }
BOOL CFileIn::Close() {
  if (!m_file) return FALSE;
  std::fclose(m_file);
  m_file = nullptr;
  return TRUE;
}
size_t CFileIn::Read(void* buffer, size_t size, size_t count) {
  return m_file ? std::fread(buffer, size, count, m_file) : 0;
}
BOOL CFileIn::IsEof() { return m_file ? (std::feof(m_file) ? TRUE : FALSE) : TRUE; }
int64_t CFileIn::GetLength() {
  if (!m_file) return 0;
  int64_t at = plat::TellFile(m_file);
  if (at < 0 || !plat::SeekFile(m_file, 0, SEEK_END)) return 0;
  int64_t length = plat::TellFile(m_file);
  plat::SeekFile(m_file, at, SEEK_SET);
  return length < 0 ? 0 : length;
}

CFileOut::~CFileOut() { Close(); }
int32_t CFileOut::AddRef() { return ++m_refs; }
int32_t CFileOut::Release() {
  int32_t n = --m_refs;
  if (n == 0) delete this;
  return n;
}
BOOL CFileOut::Failed() {
  int expected = 0;
  m_nError.compare_exchange_strong(expected, errno ? errno : EIO);
  return FALSE;
}
BOOL CFileOut::Open(const char16_t* path) {
  if (m_file || !path) return FALSE;
  errno = 0;
  m_file = plat::OpenFile(path, "wb");
  return m_file ? TRUE : Failed();
}
BOOL CFileOut::Seek(int64_t offset, int origin) {
  if (!m_file) return FALSE;
  errno = 0;
  return plat::SeekFile(m_file, offset, Whence(origin)) ? TRUE : Failed();
}
int64_t CFileOut::Tell() { return m_file ? plat::TellFile(m_file) : -1; }
BOOL CFileOut::IsError() { return m_file ? (std::ferror(m_file) ? TRUE : FALSE) : TRUE; }
BOOL CFileOut::Close() {
  if (!m_file) return FALSE;
  // A failed final flush is a failed write: report it.
  errno = 0;
  bool ok = std::fclose(m_file) == 0;
  m_file = nullptr;
  return ok ? TRUE : Failed();
}
size_t CFileOut::Write(const void* buffer, size_t size, size_t count) {
  if (!m_file) return 0;
  errno = 0;
  const size_t written = std::fwrite(buffer, size, count, m_file);
  if (size && written < count) Failed();
  return written;
}
BOOL CFileOut::Attach(FILE* file) {
  if (m_file || !file) return FALSE;
  m_file = file;
  return TRUE;
}
BOOL CFileOut::Flush() {
  if (!m_file) return FALSE;
  errno = 0;
  return std::fflush(m_file) == 0 ? TRUE : Failed();
}
