// "MorvaneFilterHue": hue and saturation of a colour layer over a ring of 1536 hues.
#pragma once
#include "HueKernels.h"
#include "LayerFilterBase.h"

class MorvaneFilterHue final : public LayerFilterBase {
 public:
  enum Item : UINT { BRIGHT = 0, SATURATE = 1 };

  MorvaneFilterHue();

  static const char16_t* GetClassName() { return u"MorvaneFilterHue"; }
  // Builds the hue ring; the factory runs it.
  void InitInstance() override;
  const hue::RingEntry* Ring() const { return m_ring; }
  // The kernel's parameters for property values: shift BRIGHT x 766 / 100 and saturation
  // change SATURATE x 256 / 100, both truncated toward zero (see HueKernels.h).
  hue::Params ParamsFor(int bright, int saturate) const;

 protected:
  const char16_t* Name() const override { return GetClassName(); }
  void CheckLayer(OLayer* layer) override;
  int32_t Run(const FilterImage& dest, const FilterImage& source, JobControl* control) override;

 private:
  hue::RingEntry m_ring[hue::kRingSize] = {};
};
