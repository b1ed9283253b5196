// What the layer list's record files share: one step being undone or redone, and the fixed
// forms of the fields its records hold. Private to the list's own sources.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "MyListLayer.h"
#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "odata/OLayer.h"
#include "odata/OUndo.h"

// A name field of the name record: 256 bytes of zero-filled UTF-16, at most 125 characters.
constexpr size_t LYR_RECORD_NAME_BYTES = 256;
constexpr size_t LYR_RECORD_NAME_UNITS = LYR_RECORD_NAME_BYTES / 2;
constexpr size_t LYR_RECORD_NAME_CHARS = 125;
// The first block of a record: large enough for every record's fields.
constexpr size_t LYR_RECORD_BLOCK = 128;

struct CMyListLayer::StepRun {
  OUndoRestore* restore;
  OUndoStore* opposite;
  OUndoHandler* other;  // the executor of the other direction: owner of the inverse
  uint32_t type;
  bool redo;
  // The step's next block, read from its start.
  GCompRef<OData> Next();
  // Writes the inverse step (same type and label) into the opposite store.
  void Inverse(std::initializer_list<OData*> blocks);
  void Inverse(const std::vector<OData*>& blocks);
};

// The colour to hand back to SetColor from one GetColor or GetInfo gave: they put the
// opacity (ALPHA x 255 / 100) into the top byte, which SetColor would store and the saved
// record would carry; the colours the program gives its layers have none.
inline uint32_t StoredColour(uint32_t shown) { return shown & 0x00FFFFFFu; }

// Writes a name into a fixed field: at most maxUnits units, zero-filled to fieldBytes.
void WriteNameField(OData* block, const char16_t* name, size_t maxUnits, size_t fieldBytes);
// Writes a LayerInfo as eight 32-bit values, the last one 0.
void WriteLayerInfo(OData* block, const LayerInfo& info);
LayerInfo ReadLayerInfo(OData* block);
