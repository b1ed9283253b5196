// Where dabs land: one layer locked for a batch of dabs. Coverage rows go into a glass or
// straight into the layer (over in the dab's colour, or lowering alpha / coverage for the
// eraser). The glass holds the stroke's coverage relative to the stroke's opacity, which its
// merge applies: GLASS keeps the highest coverage (a pen never darkens where it overlaps
// itself), BUILD lays each dab over the paint already there, as the merged result would show
// it, until the stroke's opacity is reached. Every touched 64 x 64 block is marked for the
// layer's paint transaction.
#pragma once
#include <cstdint>
#include <vector>

#include "DabKernels.h"
#include "odata/OLayer.h"

namespace dorvil {

enum class DabMode { GLASS, BUILD, OVER, ERASE };

class DabTarget {
 public:
  DabTarget() = default;
  DabTarget(const DabTarget&) = delete;
  DabTarget& operator=(const DabTarget&) = delete;

  // Locks the layer; FALSE when it cannot be locked. colour: 0x00RRGGBB for OVER;
  // strokeOpacity (0..1): what the glass's merge applies, for BUILD.
  BOOL Open(OLayer* layer, DabMode mode, uint32_t colour, float strokeOpacity = 1.0f);
  void Close();
  BOOL IsOpen() const { return m_lock.pLayer != nullptr; }
  void SetColour(uint32_t colour) { m_colour = colour; }

  // One dab centred at the space point (x, y); FALSE when it lies wholly outside the layer.
  BOOL Paint(float x, float y, const dab::Shape& shape);

 private:
  void ApplyRow(BYTE* row, const uint16_t* cover, int n);

  LayerLock m_lock;
  OLayer* m_pLayer = nullptr;
  DabMode m_mode = DabMode::GLASS;
  uint32_t m_colour = 0;
  uint32_t m_strokeOpacity = 65535;  // 16-bit
  std::vector<uint16_t> m_cover;
};

}  // namespace dorvil
