#include "OperNew.h"

#include <algorithm>
#include <string>

#include "core/PaintSpace.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "panels/MyListLayer.h"

COperNew::COperNew() : COperFrameDrag(IDB_RING_NEW, FALSE, IDR_OPT_NEW, ID_NEW_NOMAGNET) {}

COperNew::~COperNew() = default;

UINT COperNew::GetID() { return ID_OPER_NEW; }

void COperNew::OnFrameDone() {
  CMyListLayer* list = m_pPaintSpace->m_pwndListLayer;
  ILayerAsk* ask = list ? list->GetAsk() : nullptr;
  if (!ask) return;
  const RECT dragged = RectFromCorners(m_ptStart, m_ptEnd);
  std::u16string name = u"新图层";
  int width = std::clamp<LONG>(dragged.right - dragged.left, 1, LONG(LYR_MAX_WIDTH));
  int height = std::clamp<LONG>(dragged.bottom - dragged.top, 1, LONG(LYR_MAX_HEIGHT));
  const int answer = ask->AskNewLayer(&name, &width, &height);
  const int format = answer == 1 ? OLayer::myFORMAT_C32 : answer == 2 ? OLayer::myFORMAT_A16 : 0;
  if (!format) return;
  width = std::clamp(width, 1, int(LYR_MAX_WIDTH));
  height = std::clamp(height, 1, int(LYR_MAX_HEIGHT));
  const RECT rc = RectFromCorner(m_ptStart, m_ptEnd, width, height);
  if (list->CheckMemory(width, height, format, -1)) list->CreateLayer(name.c_str(), &rc, format, 0, TRUE);
}
