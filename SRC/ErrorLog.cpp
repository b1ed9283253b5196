// The error report and ERROR.TXT.
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "GSystem.h"
#include "platform/base/Files.h"
#include "platform/base/Messages.h"
#include "platform/base/Sync.h"
#include "platform/base/Text.h"

namespace {

// Writes UTF-16 units little-endian whatever the host order.
void WriteUnits(FILE* f, std::u16string_view text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<unsigned char>(c & 0xFF));
    bytes.push_back(static_cast<unsigned char>(c >> 8));
  }
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
}

std::u16string Num(unsigned v) { return plat::Widen(std::to_string(v)); }

}  // namespace

const char16_t* CSystem::GetBuildDate() {
  static const std::u16string date = plat::Widen(__DATE__);
  return date.c_str();
}

void CSystem::ReportError(GError* error) {
  if (!error) return;
  GAutoLock lock(m_lock);
  error->AddRef();
  uint32_t kind = error->GetKind();
  if (kind > m_threshold && m_recordBudget > 0) {
    --m_recordBudget;
    m_errors.PushFront(error);
    if (kind > m_threshold + 1 && m_noticeBudget > 0) {
      --m_noticeBudget;
      if (HWND hwnd = m_mainWindow) plat::PostMessage(hwnd, WM_MYERRORNOTICE, WPARAM(error), 0);
    }
  }
  if (kind > m_threshold + 2) m_fatal = 1;
  error->Release();
}

uint32_t CSystem::GetErrorCount() {
  GAutoLock lock(m_lock);
  return m_errors.GetCount();
}

GError* CSystem::GetError(uint32_t i) {
  GAutoLock lock(m_lock);
  return m_errors.GetIndex(i);
}

void CSystem::SetLogFolder(const std::u16string& folder) {
  GAutoLock lock(m_lock);
  m_logFolder = folder;
}

std::u16string CSystem::GetLogPath() {
  GAutoLock lock(m_lock);
  std::u16string folder = m_logFolder;
  if (folder.empty()) {
    // Test runs keep their logs out of the program's folder.
    if (const char* env = std::getenv("TAVRIK_LOG_DIR"); env && *env) folder = plat::FromUtf8(env);
  }
  if (folder.empty()) {
    folder = plat::IsFolderWritable(m_moduleFolder) ? m_moduleFolder : plat::GetUserDataFolder();
  }
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  return folder + u"ERROR.TXT";
}

void CSystem::WriteErrorLog() {
  const std::u16string path = GetLogPath();
  std::u16string text;
  SYSTEMTIME st;
  plat::GetLocalTime(&st);
  std::u16string head = u"\r\n\u25A0" + Num(st.wMonth) + u"." + Num(st.wDay) + u"." + Num(st.wYear) + u"  " +
                        Num(st.wHour) + u":" + Num(st.wMinute) + u"  " + m_name + u"[" + GetBuildDate() + u"]\r\n";
  head.append(64, u'-');
  head += u"\r\n";
  head.resize(plat::CutText(head, kLogBufferChars - 1).size());
  text += head;
  std::vector<char16_t> buffer(kLogBufferChars);
  m_errors.ForEach([&](GError* e) {
    uint32_t n = e->CopyText(buffer.data(), kLogBufferChars - 1);
    text.append(buffer.data(), n);
    text += u"\r\n\r\n";
  });
  text += u"\r\n\r\n\r\n";
  const std::u16string mark = u"\uFEFF\u25A1ERROR LOG:\r\n\r\n";
  // One run never fills the log alone: what does not fit is cut off.
  const size_t maxUnits = kMaxLogBytes / 2 - mark.size();
  text.resize(plat::CutText(text, maxUnits).size());

  // A log that this run would take past its limit becomes the previous copy (the one before
  // it goes), and a new log starts.
  const int64_t length = plat::GetFileLength(path);
  if (length > 0 && uint64_t(length) + 2 * text.size() > kMaxLogBytes) {
    plat::ReplaceFile(path, path.substr(0, path.size() - 4) + u".OLD.TXT");
  }
  bool fresh = false;
  FILE* f = plat::OpenFile(path, "r+b");
  if (f) {
    if (!plat::SeekFile(f, 0, SEEK_END)) {
      std::fclose(f);  // never truncate a log we cannot append to
      return;
    }
    // An existing empty file starts a log just like a new one.
    fresh = plat::TellFile(f) == 0;
  } else {
    f = plat::OpenFile(path, "w+b");
    if (!f) return;
    fresh = true;
  }
  if (fresh) WriteUnits(f, mark);
  WriteUnits(f, text);
  std::fclose(f);
}
