// The option controls the outline and shape tools share: the fill-mode list and the opacity
// slider. Without them (no option bar yet) the tool keeps the values itself.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

class CMySlider;
class CMyComboBox;
class CPaintSpace;
namespace gui {
class GWindow;
}

class CFillOptions {
 public:
  // Makes the list (80 x 21, the nine modes) and the slider (32 x 21, 1..100) once, as
  // children of the option bar, and puts them into slots[0] and slots[1] (the tool owns them
  // from there). FALSE when a control could not be made.
  BOOL Create(gui::GWindow* optionBar, gui::GWindow** slots);

  int GetFillMode() const;
  void SetFillMode(int mode);
  int GetOpacity() const;
  void SetOpacity(int percent);
  // The space's current colour (0xAARRGGBB) with alpha = opacity x 255 / 100.
  uint32_t Colour(CPaintSpace* space) const;

  CMySlider* m_pSlider = nullptr;
  CMyComboBox* m_pFillMode = nullptr;

 private:
  int m_nMode = 1;
  int m_nOpacity = 100;
};
