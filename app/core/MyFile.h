// The document file container: a 32-byte header, then one section per registered unit in
// the order of registration. Each unit writes and reads its own section; the transfer of
// all sections runs as one job on the worker behind the progress display.
#pragma once
#include <cstdint>
#include <string>

#include "FileRefusal.h"
#include "JobRunner.h"
#include "odata/GCompRef.h"
#include "odata/OFile.h"
#include "odata/OWorker.h"

// A unit's writer. Save adds the bytes it wrote to *pBytes.
struct OFileSave {
  virtual BOOL Begin(UINT* progressTotal) = 0;
  virtual BOOL Save(OFileOut* file, uint64_t* pBytes, JobControl* control) = 0;
  virtual BOOL End() = 0;
  virtual ~OFileSave() = default;
};

// A unit's reader. End applies what was read, or discards it when the load failed.
struct OFileLoad {
  virtual BOOL Begin() = 0;
  virtual BOOL Load(OFileIn* file, uint64_t* pBytes, JobControl* control) = 0;
  virtual BOOL End(BOOL bFailed) = 0;
  virtual ~OFileLoad() = default;
};

constexpr UINT MYFILE_MAX_UNITS = 16;
constexpr size_t MYFILE_HEADER_BYTES = 32;
constexpr uint32_t MYFILE_MAGIC = 0x766C656B;  // "kelv" as one little-endian word
constexpr uint32_t MYFILE_VERSION = 0x00010000;

// The header: magic, version, file size, unit count, check, progress total, 8 zero bytes.
struct MyFileHeader {
  uint32_t magic, version, fileSize, unitCount, check, progressTotal;
  void Store(BYTE out[MYFILE_HEADER_BYTES]) const;
  static MyFileHeader Parse(const BYTE in[MYFILE_HEADER_BYTES]);
};

class CMyFileSave {
 public:
  explicit CMyFileSave(CJobRunner* runner) : m_pRunner(runner) {}
  static const char16_t* GetClassName() { return u"CMyFileSave"; }

  void AddUnit(OFileSave* unit);
  // Writes the document. It goes to a new file beside the target that replaces the target
  // only when every section, the header and the close succeeded: a failed or cancelled save
  // leaves the old file as it was. Throws when the worker is busy or no unit is registered.
  BOOL Save(const std::u16string& path, OWorker* worker);
  uint32_t GetLastJobFlags() const { return m_dwJobFlags; }
  UINT GetUnitCount() const { return m_nUnitCount; }
  // Why the last Save failed, in the interface's words; empty when it did not, or nobody
  // could tell.
  const std::u16string& GetLastReason() const { return m_strReason; }
  // Removes the temporary files that saves of processes killed meanwhile left, in every
  // folder a save was noted in; a save's own and those of running copies stay. Called once
  // at start-up; the number of files removed.
  static int RemoveKilledSaves();

 private:
  int32_t TransferJob(JobRecord* job, JobControl* control);
  // Writes all sections and the header into a new file and puts it in the target's place;
  // a failure notes the system's reason.
  BOOL WriteDocument(const std::u16string& path, OWorker* worker, UINT progressTotal);
  // As WriteDocument; *error gets the errno of the step that failed.
  BOOL WriteFile(const std::u16string& path, OWorker* worker, UINT progressTotal, int* error);

  CJobRunner* m_pRunner;
  UINT m_nUnitCount = 0;
  uint32_t m_dwJobFlags = 0;
  std::u16string m_strReason;
  GCompRef<CFileOut> m_cpFile;
  OFileSave* m_apUnits[MYFILE_MAX_UNITS] = {};
};

class CMyFileLoad {
 public:
  explicit CMyFileLoad(CJobRunner* runner) : m_pRunner(runner) {}
  static const char16_t* GetClassName() { return u"CMyFileLoad"; }

  void AddUnit(OFileLoad* unit);
  // Reads a document; FALSE when the file is not one this reader's units wrote, or a unit
  // fails. Every unit's End runs once its Begin has. Throws as Save does.
  BOOL Load(const std::u16string& path, OWorker* worker);
  uint32_t GetLastJobFlags() const { return m_dwJobFlags; }
  // Why the last Load failed, as Save's.
  const std::u16string& GetLastReason() const { return m_strReason; }

 private:
  int32_t TransferJob(JobRecord* job, JobControl* control);

  CJobRunner* m_pRunner;
  UINT m_nUnitCount = 0;
  uint32_t m_dwJobFlags = 0;
  std::u16string m_strReason;
  GCompRef<CFileIn> m_cpFile;
  OFileLoad* m_apUnits[MYFILE_MAX_UNITS] = {};
};
