// The user's settings: sections hold keys with integer, text or binary values. Stored with
// the organisation "kelv_net" and the application "Tavrik" in the user's config folder, or in
// a file of the caller's choice (tests). Any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/Types.h"

namespace gui {

class Settings {
 public:
  // From now on the settings live in this file (INI form); an empty path goes back to the
  // user's store.
  static void UseFile(const std::u16string& path);
  // The integer under section/key, def when absent or not a number; a stored value outside
  // min..max is clamped (so is def).
  static int ReadInt(const char16_t* section, const char16_t* key, int def, int min, int max);
  static BOOL WriteInt(const char16_t* section, const char16_t* key, int value);
  static std::u16string ReadString(const char16_t* section, const char16_t* key, const char16_t* def = u"");
  static BOOL WriteString(const char16_t* section, const char16_t* key, const char16_t* value);
  // FALSE (and out cleared) when absent.
  static BOOL ReadBinary(const char16_t* section, const char16_t* key, std::vector<uint8_t>* out);
  static BOOL WriteBinary(const char16_t* section, const char16_t* key, const void* data, size_t size);
  static BOOL Contains(const char16_t* section, const char16_t* key);
  static void Remove(const char16_t* section, const char16_t* key);
  // Writes pending changes to the store; FALSE when the store cannot be written.
  static BOOL Flush();
};

}  // namespace gui
