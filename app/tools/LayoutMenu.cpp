#include "LayoutMenu.h"

#include "core/PaintSpace.h"
#include "tools/Operation.h"

namespace {
constexpr UINT kSelectLayer = 4;
constexpr UINT kSwitchTool = 9;
}  // namespace

const char16_t* CLayoutMenu::GetLabel(UINT item, int state) {
  if (state <= 0) return u"";
  switch (item) {
    case kSelectLayer: return m_bSelectLayer ? u"选择图层" : u"";
    case kSwitchTool: return u"操作切换";
    case FLOWER_SECTOR_TOPLEFT: return u"辙消";
    case FLOWER_SECTOR_BOTTOMRIGHT: return u"视觉翻转";
    default: return u"";
  }
}

void CLayoutMenu::Run(int, int, UINT item, DWORD) {
  CPaintSpace* space = m_pTool->m_pPaintSpace;
  // The ring opened at the right click (or at the cursor of a SPACE tap).
  const POINT at = m_pTool->m_ptRButton;
  switch (item) {
    case kSelectLayer:
      if (m_bSelectLayer) space->OnFlowerSelectLayer(at.x, at.y);
      break;
    case kSwitchTool: space->SelectOperator(space->GetPrevOperatorID()); break;
    case FLOWER_SECTOR_TOPLEFT: space->Undo(1); break;
    case FLOWER_SECTOR_BOTTOMRIGHT: space->FlipViewAt(at.x, at.y); break;
    default: break;
  }
}
