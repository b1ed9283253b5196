// UTF-16 text helpers: the system's text is char16_t; UTF-8 appears only at the
// operating-system boundary (file names, console).
#pragma once
#include <string>
#include <string_view>

#include "Types.h"

namespace plat {

size_t StrLen(const char16_t* s);
int StrCmp(const char16_t* a, const char16_t* b);
std::string ToUtf8(std::u16string_view s);
std::u16string FromUtf8(std::string_view s);
// ASCII-only widening, for numbers and fixed texts formatted with snprintf.
std::u16string Widen(std::string_view ascii);

// The longest start of text of at most units UTF-16 units that keeps every surrogate pair
// whole: every name and text that is cut to a size is cut here.
std::u16string_view CutText(std::u16string_view text, size_t units);

// Copies as much of src as fits into dst[cch] (cut by CutText) and always terminates
// (cch > 0). Returns the characters written, terminator not counted.
size_t CopyTrunc(char16_t* dst, size_t cch, std::u16string_view src);

}  // namespace plat
