// "MorvaneFilterBright": brightness and contrast of a colour layer through a 256-entry table.
#pragma once
#include "LayerFilterBase.h"

class MorvaneFilterBright final : public LayerFilterBase {
 public:
  enum Item : UINT { BRIGHT = 0, CONTRAST = 1 };

  MorvaneFilterBright();

  static const char16_t* GetClassName() { return u"MorvaneFilterBright"; }
  // table[j] = ((j - 128) x (contrast + 100) + 255 x bright + 12850) / 100, clamped to 0..255.
  static void BuildTable(int bright, int contrast, BYTE table[256]);

 protected:
  const char16_t* Name() const override { return GetClassName(); }
  void CheckLayer(OLayer* layer) override;
  int32_t Run(const FilterImage& dest, const FilterImage& source, JobControl* control) override;

 private:
  BYTE m_table[256] = {};
};
