#include "FileRefusal.h"

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace file_refusal {
namespace {

std::mutex g_mutex;
std::u16string g_reason;

std::u16string Number(uint64_t n) {
  const std::string s = std::to_string(n);
  return std::u16string(s.begin(), s.end());
}

// Bytes as megabytes, rounded up: a need is never shown smaller than it is.
std::u16string Megabytes(uint64_t bytes) { return Number((bytes + (1u << 20) - 1) >> 20) + u" MB"; }

}  // namespace

void Note(const std::u16string& reason) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_reason.empty()) g_reason = reason;
}

std::u16string Take() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::u16string r;
  r.swap(g_reason);
  return r;
}

std::u16string Damaged(const char16_t* section, int layer) {
  std::u16string r = u"文档已损坏：";
  r += section;
  if (layer > 0) r += u"，第 " + Number(uint64_t(layer)) + u" 个图层";
  return r;
}

std::u16string NotEnoughMemory(uint64_t needed, uint64_t available) {
  return u"内存不足：需要 " + Megabytes(needed) + u"，可用 " + Megabytes(available);
}

std::u16string TooLarge(uint32_t width, uint32_t height) {
  return u"画布尺寸 " + Number(width) + u" x " + Number(height) + u" 超出范围（1～10000）";
}

std::u16string NotADocument() { return u"不是本程序的文档"; }

std::u16string FromErrno(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return u"没有访问权限";
    case ENOSPC:
    case EDQUOT:
      return u"磁盘已满";
    case ENOENT:
      return u"文件或文件夹不存在";
    case ENOMEM:
      return u"内存不足";
    default:
      return std::u16string();
  }
}

}  // namespace file_refusal
