#include "MyFile.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "FileRefusal.h"

#include "odata/GError.h"
#include "odata/LittleEndian.h"
#include "platform/base/Files.h"
#include "platform/base/PendingTempFolders.h"

namespace {

constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;
constexpr const char16_t* kTempPrefix = u"qvx";

// Where the folders of saves in progress are noted, for every copy of the program.
std::u16string PendingSavesList() { return plat::GetUserDataFolder() + u"saves-in-progress"; }

// The transfer job's argument block carries the address of the byte counter.
JobRecord MakeTransferJob(OData* args, void* container, JobProc proc, uint64_t* counter) {
  args->Rewind();
  args->Write(&counter, sizeof counter);
  return JobRecord{args, u"unknown", 6, 0, container, proc};
}

// Memory that ran out in a unit refuses the document with that reason; the units' End
// drops what was made.
int32_t OutOfMemory() {
  file_refusal::Note(file_refusal::FromErrno(ENOMEM));
  return FALSE;
}

uint64_t* TakeCounter(JobRecord* job) {
  uint64_t* counter = nullptr;
  job->pArgs->Read(&counter, sizeof counter);
  return counter;
}

}  // namespace

void MyFileHeader::Store(BYTE out[MYFILE_HEADER_BYTES]) const {
  std::memset(out, 0, MYFILE_HEADER_BYTES);
  const uint32_t fields[6] = {magic, version, fileSize, unitCount, check, progressTotal};
  for (int i = 0; i < 6; ++i) PutLE32(out + 4 * i, fields[i]);
}

MyFileHeader MyFileHeader::Parse(const BYTE in[MYFILE_HEADER_BYTES]) {
  return MyFileHeader{GetLE32(in), GetLE32(in + 4), GetLE32(in + 8), GetLE32(in + 12), GetLE32(in + 16), GetLE32(in + 20)};
}

void CMyFileSave::AddUnit(OFileSave* unit) {
  if (unit && m_nUnitCount < MYFILE_MAX_UNITS) m_apUnits[m_nUnitCount++] = unit;
}

int32_t CMyFileSave::TransferJob(JobRecord* job, JobControl* control) {
  try {
    uint64_t* counter = TakeCounter(job);
    for (UINT i = 0; i < m_nUnitCount; ++i) {
      if (control && (control->flags & JOB_ABORT)) return FALSE;
      if (!m_apUnits[i]->Save(m_cpFile, counter, control)) return FALSE;
    }
    return TRUE;
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  }
  GCATCH(GetClassName(), u"::____Save()", ->AppendMemory({16, control}))
}

BOOL CMyFileSave::Save(const std::u16string& path, OWorker* worker) {
  try {
    GVERIFY(worker && worker->IsReady(), u"!poWorker->IsReady()");
    GVERIFY(m_nUnitCount, u"!m_nUnitCount");
    file_refusal::Take();
    m_strReason.clear();
    BOOL result = TRUE;
    UINT progressTotal = 1;
    for (UINT i = 0; i < m_nUnitCount; ++i)
      if (!m_apUnits[i]->Begin(&progressTotal)) result = FALSE;
    try {
      if (result) result = WriteDocument(path, worker, progressTotal);
    } catch (...) {
      for (UINT i = 0; i < m_nUnitCount; ++i) m_apUnits[i]->End();
      throw;
    }
    for (UINT i = 0; i < m_nUnitCount; ++i)
      if (!m_apUnits[i]->End()) result = FALSE;
    m_strReason = file_refusal::Take();
    if (result) m_strReason.clear();
    return result;
  }
  GCATCH(GetClassName(), u"::Save()", ->AppendArg(GArgInt(int32_t(m_nUnitCount))))
}

BOOL CMyFileSave::WriteDocument(const std::u16string& path, OWorker* worker, UINT progressTotal) {
  // What the system said of the step that failed is the reason given.
  int error = 0;
  const BOOL written = WriteFile(path, worker, progressTotal, &error);
  if (!written) file_refusal::Note(file_refusal::FromErrno(error));
  return written;
}

BOOL CMyFileSave::WriteFile(const std::u16string& path, OWorker* worker, UINT progressTotal, int* error) {
  // The errno of the step that failed, taken at once: the way out changes errno again.
  auto failed = [error](int code) {
    *error = code;
    return FALSE;
  };
  // A symbolic link is saved through: its target is replaced, beside the target.
  errno = 0;
  const std::u16string target = plat::FollowLinks(path);
  if (target.empty()) return failed(errno);
  // A folder in the target's place would refuse the new file only after the whole document
  // was written.
  if (plat::IsFolder(target)) return failed(EISDIR);
  const std::u16string folder = plat::FolderOf(target);
  // Temporaries carry their process's id: those of processes that died while saving go.
  plat::RemoveStaleTempFiles(folder, kTempPrefix);
  // The folder is noted while a temporary may stand in it (the note goes after the file),
  // so that one a killed save left is found at the next start-up.
  struct PendingNote {
    plat::PendingTempFolders list;
    std::u16string folder;
    ~PendingNote() { list.Leave(folder); }
  } note{plat::PendingTempFolders(PendingSavesList()), folder};
  note.list.Enter(folder);
  // The document goes to a new file beside the target; the target is replaced only once the
  // whole document stands. Until then the new file goes again on every way out.
  struct TempFile {
    std::u16string path;
    bool keep = false;
    ~TempFile() {
      if (!keep && !path.empty()) plat::DeleteFile(path);
    }
  } temp;
  errno = 0;
  FILE* f = plat::CreateTempFileIn(folder, kTempPrefix, &temp.path);
  if (!f) return failed(errno);
  m_cpFile = new CFileOut();
  m_cpFile->Attach(f);
  // The writes run on other threads: the file keeps the first failure's errno.
  struct Closer {
    GCompRef<CFileOut>& file;
    ~Closer() {
      file->Close();
      file.Release();
    }
  } closer{m_cpFile};
  auto fileFailed = [&] { return failed(m_cpFile->GetError()); };

  uint64_t bytes = 0;
  GCompRef<OData> args = GNewData(4096);
  JobRecord job = MakeTransferJob(args, this, JobThunk<CMyFileSave, &CMyFileSave::TransferJob>, &bytes);
  if (!m_cpFile->Seek(MYFILE_HEADER_BYTES, 0)) return fileFailed();
  if (!m_pRunner->Run(worker, &job, u"正在保存...", int(progressTotal), &m_dwJobFlags)) return fileFailed();
  GVERIFY(bytes + MYFILE_HEADER_BYTES <= kMaxFileSize, u"!cbFileSize<=0xFFFFFFFF");
  MyFileHeader h{MYFILE_MAGIC, MYFILE_VERSION, uint32_t(bytes + MYFILE_HEADER_BYTES), m_nUnitCount, 0, progressTotal};
  h.check = h.unitCount + h.fileSize;
  BYTE head[MYFILE_HEADER_BYTES];
  h.Store(head);
  if (!m_cpFile->Seek(0, 0) || m_cpFile->Write(head, MYFILE_HEADER_BYTES, 1) != 1) return fileFailed();
  // The bytes are on the disk before the new file takes the old one's place, and the
  // folder's new entry after: a crash leaves the old document or the new one, whole.
  errno = 0;
  if (!plat::SyncFile(f)) return failed(errno);
  // A failed close (the last buffered bytes not written) is a failed save.
  if (!m_cpFile->Close()) return fileFailed();
  plat::TakeFileMode(temp.path, target);
  errno = 0;
  if (!plat::ReplaceFile(temp.path, target)) return failed(errno);
  temp.keep = true;
  errno = 0;
  return plat::SyncFolder(folder) ? TRUE : failed(errno);
}

int CMyFileSave::RemoveKilledSaves() { return plat::PendingTempFolders(PendingSavesList()).RemoveLeftovers(kTempPrefix); }

void CMyFileLoad::AddUnit(OFileLoad* unit) {
  if (unit && m_nUnitCount < MYFILE_MAX_UNITS) m_apUnits[m_nUnitCount++] = unit;
}

int32_t CMyFileLoad::TransferJob(JobRecord* job, JobControl* control) {
  try {
    uint64_t* counter = TakeCounter(job);
    for (UINT i = 0; i < m_nUnitCount; ++i) {
      if (control && (control->flags & JOB_ABORT)) return FALSE;
      if (!m_apUnits[i]->Load(m_cpFile, counter, control)) return FALSE;
    }
    return TRUE;
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  }
  GCATCH(GetClassName(), u"::____Load()", ->AppendMemory({16, control}))
}

BOOL CMyFileLoad::Load(const std::u16string& path, OWorker* worker) {
  try {
    GVERIFY(worker && worker->IsReady(), u"!poWorker->IsReady()");
    GVERIFY(m_nUnitCount, u"!m_nUnitCount");
    file_refusal::Take();
    m_strReason.clear();
    m_cpFile = new CFileIn();
    errno = 0;
    if (!m_cpFile->Open(path.c_str())) {
      m_strReason = file_refusal::FromErrno(errno);
      return FALSE;
    }
    BYTE head[MYFILE_HEADER_BYTES];
    const bool headRead = m_cpFile->Read(head, MYFILE_HEADER_BYTES, 1) == 1;
    MyFileHeader h = MyFileHeader::Parse(head);
    if (!headRead || h.magic != MYFILE_MAGIC || (h.version >> 16) != 1) {
      m_strReason = file_refusal::NotADocument();
      return FALSE;
    }
    if (int64_t(h.fileSize) != m_cpFile->GetLength() || h.unitCount != m_nUnitCount ||
        h.check != h.unitCount + h.fileSize) {
      m_strReason = file_refusal::Damaged(u"文件头");
      return FALSE;
    }

    BOOL result = TRUE;
    for (UINT i = 0; i < m_nUnitCount; ++i)
      if (!m_apUnits[i]->Begin()) result = FALSE;
    if (result) {
      uint64_t bytes = 0;
      GCompRef<OData> args = GNewData(4096);
      JobRecord job = MakeTransferJob(args, this, JobThunk<CMyFileLoad, &CMyFileLoad::TransferJob>, &bytes);
      int total = h.progressTotal > 1 ? int(h.progressTotal) : 1;
      result = m_pRunner->Run(worker, &job, u"正在打开...", total, &m_dwJobFlags) ? TRUE : FALSE;
    }
    for (UINT i = 0; i < m_nUnitCount; ++i)
      if (!m_apUnits[i]->End(!result)) result = FALSE;
    m_cpFile.Release();
    m_strReason = file_refusal::Take();
    if (result) m_strReason.clear();
    return result;
  }
  GCATCH(GetClassName(), u"::Load()", ->AppendArg(GArgInt(int32_t(m_nUnitCount))))
}
