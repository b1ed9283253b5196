#include "FillTool.h"

#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "platform/gui/Messages.h"
#include "tools/OutlineFill.h"

namespace {
const char16_t* const kNotCurrent = u"!poLayer==m_pPaintSpace->m_pwndListLayer->GetLayer(nSel)";
}

void CFillTool::OnEnvironmentVaryNotify(const char16_t*, DWORD, void*) {
  try {
    FinishWork();
    m_pPaintSpace->InvalidateView(TRUE);
  }
  GCATCH(GetClassName(), u"::OnEnvironmentVaryNotify()")
}

// Another tag makes the replay throw "Should not get here!".
BOOL CFillTool::ApplyUndoStep(CToolUndoReplay& step) { return ReplayOutlineFill(step); }

BOOL CFillTool::CommonMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (SwallowWheel(msg, result)) return TRUE;
  switch (msg) {
    case WM_RBUTTONUP:
      RightButtonUp(lParam);
      return TRUE;
    case WM_KEYUP:
      return SpaceUpAsRightClick(wParam);
    case WM_TIMER: return TRUE;
    default: return FALSE;
  }
}

BOOL CFillTool::FillSpaceOutline(OLayer* layer, std::deque<POINTF>* outline, uint32_t colour, int mode, int maskOp,
                                 const char16_t* label) {
  if (!m_cpShape) m_cpShape = NewShapeFiller(m_pPaintSpace);
  const OutlineFillArgs args{colour, mode, maskOp, label, &m_parts.m_xUndoInner, kNotCurrent};
  return FillOutline(m_pPaintSpace, layer, m_cpShape, outline, args);
}
