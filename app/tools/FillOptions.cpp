#include "FillOptions.h"

#include "core/PaintSpace.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/ListBox.h"
#include "platform/gui/Slider.h"
#include "tools/FillKernels.h"

BOOL CFillOptions::Create(gui::GWindow* optionBar, gui::GWindow** slots) {
  if (!m_pFillMode) {
    auto* modes = new CMyComboBox();
    if (!modes->Create(optionBar, 80, 21, nullptr)) {
      delete modes;
      return FALSE;
    }
    for (const char16_t* label : fill::kFillModeLabels) modes->GetListWindow()->AddString(label);
    modes->SetCurSel(m_nMode);
    m_pFillMode = modes;
    slots[0] = modes;
  }
  if (!m_pSlider) {
    auto* slider = new CMySlider();
    if (!slider->Create(optionBar, 32, 21)) {
      delete slider;
      return FALSE;
    }
    slider->SetRange(1, 100);
    slider->SetValue(m_nOpacity);
    m_pSlider = slider;
    slots[1] = slider;
  }
  return TRUE;
}

int CFillOptions::GetFillMode() const {
  const int mode = m_pFillMode ? m_pFillMode->GetCurSel() : m_nMode;
  return mode >= 0 && mode < fill::myMODE_COUNT ? mode : fill::myFILL;
}

void CFillOptions::SetFillMode(int mode) {
  m_nMode = mode;
  if (m_pFillMode) m_pFillMode->SetCurSel(mode);
}

int CFillOptions::GetOpacity() const { return m_pSlider ? m_pSlider->GetValue() : m_nOpacity; }

void CFillOptions::SetOpacity(int percent) {
  m_nOpacity = percent;
  if (m_pSlider) m_pSlider->SetValue(percent);
}

uint32_t CFillOptions::Colour(CPaintSpace* space) const {
  const uint32_t alpha = uint32_t(GetOpacity()) * 255u / 100u;
  return (space->GetColor(0) & 0xFFFFFFu) | (alpha << 24);
}
