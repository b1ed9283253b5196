// The brush presets file (BRUSH/Config.cfb): every brush of the brush list with its name,
// description, flags word and five value sets, as one zlib body behind a 32-byte header.
//
//   header  magic "CFB\0", file size, version 150, check (body size + count + selected),
//           uncompressed body size, brush count, selected row (signed), 0
//   body    one zlib stream (level 2, through "XEncoderZlib" / "XDecoderZlib") of the brush
//           records in row order:
//           check (sum of the next five), record size, item count, N, D, E, 0, 0, flags,
//           engine name (E bytes), name (N), description (D) - UTF-16LE, each 0-terminated -
//           then value sets 0..4, one signed 32-bit value per item each.
//
// The reader knows nothing of brush components: it hands back every record, and a record
// whose component is gone can be given back to the writer as it was read (its texts whole,
// a 0 inside included; a brush of the list shows them up to the first 0). It takes what the
// format allows: texts of any even size the body holds, any item count, bytes after the zlib
// stream; a record is walked by the sizes of its parts, never by its record-size field. Every
// size is checked before anything is allocated, and the body grows only as the stream gives
// bytes. A damaged header or stream refuses the file whole; a damaged record ends the list
// and the records before it are kept. What was wrong is said in Chinese, for the user.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/Types.h"

struct GSystem;

// Set 0 holds the working values, sets 1 to 4 the user's presets.
constexpr int BRUSH_VALUE_SETS = 5;

// One brush entry as the file holds it.
struct BrushPresetRecord {
  std::u16string engine;  // implementation name of the brush component
  std::u16string name;
  std::u16string description;
  uint32_t flags = 0;  // preset-match bits 0x1E, 0x100 floating and 0x200 fixed preselection
  // One value per item in item order; all five sets hold the same number of values.
  std::array<std::vector<int32_t>, BRUSH_VALUE_SETS> sets;

  uint32_t ItemCount() const { return uint32_t(sets[0].size()); }
  bool operator==(const BrushPresetRecord&) const = default;
};

struct BrushPresets {
  std::vector<BrushPresetRecord> brushes;
  int32_t selected = -1;  // the current row when saved; -1 with none (not checked against the rows)
  bool operator==(const BrushPresets&) const = default;
};

// Bounds a file must keep; the writer refuses what the reader would refuse.
constexpr uint32_t BRUSH_PRESETS_MAGIC = 0x00424643;
constexpr uint32_t BRUSH_PRESETS_VERSION = 150;
constexpr size_t BRUSH_PRESETS_HEADER = 32;
constexpr size_t BRUSH_RECORD_HEAD = 36;      // the 32-byte head and the flags word
constexpr uint32_t BRUSH_MAX_BRUSHES = 100;   // brushes read from a file; those after are left
constexpr uint32_t BRUSH_MAX_ITEMS = 255;     // an entry holds fewer than 256 items
constexpr uint32_t BRUSH_MAX_BODY = 64u << 20;  // uncompressed bytes: far beyond any real list

// Bytes of the record in the body: 42 + 2 x (characters of the three texts) + 5 x 4 x items.
uint64_t GetBrushRecordSize(const BrushPresetRecord& record);

// Loaded: the whole file. Partial: the brushes before the first record that could not be
// read (or the first 100). Refused: nothing (header, stream, or the file cannot be read).
enum class PresetsStatus { Loaded, Missing, Refused, Partial };

struct BrushPresetsLoad {
  PresetsStatus status = PresetsStatus::Missing;
  BrushPresets presets;  // empty when Missing or Refused; the header's selection as stored
  std::u16string error;  // what was wrong, in Chinese for the user; empty when Loaded
};

// Reads the presets file. Missing when there is no file. Throws a GErrRecord* only when the
// decoder cannot be made.
BrushPresetsLoad LoadPresets(const std::u16string& path, GSystem* system);
// The same for the file's bytes in memory.
BrushPresetsLoad ReadPresets(const BYTE* data, size_t size, GSystem* system);

struct BrushPresetsSave {
  bool ok = false;
  std::u16string error;
};

// Makes the file's bytes in *file (header and compressed body). Refuses presets the reader
// would not read whole (too many brushes, a body too large, sets of differing sizes).
// Throws a GErrRecord* only when the encoder cannot be made or fails.
BrushPresetsSave EncodePresets(const BrushPresets& presets, GSystem* system, std::vector<BYTE>* file);
// Writes the file: a new file in the target's folder, every write and the close checked,
// then renamed over the target, so a failed save leaves the old file as it was. An empty
// list is written too (zero brushes).
BrushPresetsSave SavePresets(const std::u16string& path, const BrushPresets& presets, GSystem* system);

// Where the file lives: programFolder/BRUSH/Config.cfb, else userFolder/BRUSH/Config.cfb.
// The file to load: the first of the two that exists as a file; empty when neither does.
std::u16string FindPresetsFile(const std::u16string& programFolder, const std::u16string& userFolder);
// The file to save to, its BRUSH folder created: the program's when that folder can be made
// and written, else the user's; empty when neither can.
std::u16string PreparePresetsFile(const std::u16string& programFolder, const std::u16string& userFolder);
// Moves a file that could not be read whole out of the way before anything is written in its
// place: to path + ".bad-" + the date (YYYYMMDD), with "-2", "-3" ... when that name is taken;
// an earlier kept file is never overwritten. The new path; empty when it could not be moved.
std::u16string KeepPresetsAside(const std::u16string& path);
// The same for the running program's folder and the user's data folder.
std::u16string FindPresetsFile();
std::u16string PreparePresetsFile();
