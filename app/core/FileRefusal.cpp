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

std::u16string LayerOverLimit(int layer, uint64_t needed, uint64_t limit) {
  return u"内存不足：第 " + Number(uint64_t(layer)) + u" 个图层需要 " + Megabytes(needed) + u"，单个图层上限 " +
         Megabytes(limit);
}

std::u16string LayersOverLimit(uint64_t needed, uint64_t limit) {
  return u"内存不足：需要 " + Megabytes(needed) + u"，全部图层上限 " + Megabytes(limit);
}

std::u16string TooManyLayers(uint32_t count, uint32_t most) {
  return u"图层数 " + Number(count) + u" 超过上限 " + Number(most);
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
    case EISDIR:
      return u"这是一个文件夹，不是文件";
    case ENODEV:
    case ENXIO:
      return u"不是普通文件（管道、设备或套接字）";
    case ELOOP:
      return u"符号链接形成了循环";
    case ENOTDIR:
      return u"路径中的某一级不是文件夹";
    case ENAMETOOLONG:
      return u"文件名过长";
    case EFBIG:
      return u"文件过大";
    case EIO:
      return u"读写设备出错";
    default:
      return error > 0 ? u"系统错误（错误号 " + Number(uint64_t(error)) + u"）" : std::u16string();
  }
}

}  // namespace file_refusal
