// "MorvaneFilterBlur": a box blur of a colour or mask layer, from its backup into its pixels.
#pragma once
#include "LayerFilterBase.h"

class MorvaneFilterBlur final : public LayerFilterBase {
 public:
  enum Item : UINT { WIDTH = 0, HEIGHT = 1 };

  MorvaneFilterBlur();

  static const char16_t* GetClassName() { return u"MorvaneFilterBlur"; }
  // The half window of a WIDTH or HEIGHT value over a side: value x (side / 4) x value / 10000,
  // raised to the value, then lowered to side / 4 (0 for a side below 4). The window spans
  // 2 x radius - 1 pixels.
  static int Radius(int value, int side);

 protected:
  const char16_t* Name() const override { return GetClassName(); }
  int32_t Run(const FilterImage& dest, const FilterImage& source, JobControl* control) override;

 private:
  static int32_t RunMask(const FilterImage& dest, const FilterImage& source, int cx, int cy, JobControl* control);
  static int32_t RunColour(const FilterImage& dest, const FilterImage& source, int cx, int cy, JobControl* control);
};
