// Why a document could not be read or written, in the interface's words. The container
// clears the reason before a transfer; the first unit (or the container itself) that
// refuses says why, and the caller shows it under "无法打开文档：" / "无法保存文档：".
// Units run on the worker while the UI thread waits, so one reason at a time is enough.
#pragma once
#include <cstdint>
#include <string>

namespace file_refusal {

// Keeps the reason unless one is kept already: the first cause explains the rest.
void Note(const std::u16string& reason);
// The kept reason, which is then cleared.
std::u16string Take();

// The reasons, each on one line.
std::u16string Damaged(const char16_t* section, int layer = -1);  // layer counts from 1
std::u16string NotEnoughMemory(uint64_t needed, uint64_t available);
// Over the program's own limits for one layer (layer counts from 1) or for all of them.
std::u16string LayerOverLimit(int layer, uint64_t needed, uint64_t limit);
std::u16string LayersOverLimit(uint64_t needed, uint64_t limit);
std::u16string TooManyLayers(uint32_t count, uint32_t most);
std::u16string TooLarge(uint32_t width, uint32_t height);
std::u16string NotADocument();
// From an errno value of a failed file or memory operation; empty for 0.
std::u16string FromErrno(int error);

}  // namespace file_refusal

// The message of a refused document: the words and the path, then the reason on a line of
// its own when there is one.
inline std::u16string RefusalText(const std::u16string& words, const std::u16string& reason) {
  return reason.empty() ? words : words + u"\n" + reason;
}
