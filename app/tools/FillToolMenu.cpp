#include "FillToolMenu.h"

#include "core/ColorBar.h"
#include "core/PaintSpace.h"
#include "core/ShellServices.h"
#include "tools/OperSucker.h"
#include "tools/Operation.h"

const char16_t* CFillToolMenu::GetLabel(UINT item, int state) {
  if (state <= 0) return u"";
  switch (item) {
    case 3: return u"调色板";
    case 4: return u"选择图层";
    case 9: return u"操作切换";
    case FLOWER_SECTOR_TOPLEFT: return u"辙消";
    case FLOWER_SECTOR_TOPRIGHT: return u"取色";
    case FLOWER_SECTOR_BOTTOMRIGHT: return u"视觉翻转";
    default: return u"";
  }
}

void CFillToolMenu::Run(int x, int y, UINT item, DWORD) {
  CPaintSpace* space = m_pTool->m_pPaintSpace;
  const POINT at = m_pTool->m_ptRButton;
  switch (item) {
    case 3:
      if (IShellServices* shell = space->GetShell()) shell->PopupPalette(x, y);
      break;
    case 4: space->OnFlowerSelectLayer(at.x, at.y); break;
    case 9: space->SelectOperator(space->GetPrevOperatorID()); break;
    case FLOWER_SECTOR_TOPLEFT: space->Undo(1); break;
    case FLOWER_SECTOR_TOPRIGHT:
      // The topmost layer's own colour, not the view's blend: the auto-layer mode files each
      // fill under the mask layer of the current colour, so a pick from a mask layer must
      // give that layer's colour, not its mix with what shows through. Taken as it is, not
      // through HSV, whose round trip may move a channel by one.
      if (CColorBar* bar = space->GetColorBar()) bar->PushRgb(COperSucker::LayerColorAt(space, at.x, at.y) & 0xFFFFFFu);
      break;
    case FLOWER_SECTOR_BOTTOMRIGHT: space->FlipViewAt(at.x, at.y); break;
    default: break;
  }
}
