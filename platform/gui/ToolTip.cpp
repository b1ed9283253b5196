// Tooltips by area: Qt asks when the mouse rests; the window names the tip and the area it
// covers, and Qt's tip hides once the mouse leaves that area.
#include <QHelpEvent>
#include <QToolTip>
#include <string>

#include "Internal.h"

namespace gui::detail {

bool ShowToolTip(GWindow* w, QWidget* widget, QHelpEvent* e) {
  const double dpr = widget->devicePixelRatioF();
  std::u16string text;
  RECT area{0, 0, 0, 0};
  if (!w->OnToolHitTest(ToDevice(e->pos(), dpr), &text, &area) || text.empty()) return false;
  QToolTip::showText(e->globalPos(), ToQString(text), widget, ToLogical(area, dpr));
  return true;
}

}  // namespace gui::detail
