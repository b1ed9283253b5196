// The ring menu of the tools that place layers and rectangles (move, create layer, trim):
// back to the previous tool, undo, mirror the view at the right-click point and, where the
// tool offers it, select the layer under that point.
#pragma once
#include "tools/FunctionMenu.h"

class COperation;

class CLayoutMenu final : public CFunctionMenu {
 public:
  CLayoutMenu(COperation* tool, UINT bitmapId, BOOL withSelectLayer)
      : CFunctionMenu(bitmapId), m_pTool(tool), m_bSelectLayer(withSelectLayer) {}
  const char16_t* GetLabel(UINT item, int state) override;
  void Run(int x, int y, UINT item, DWORD popupTick) override;

 private:
  COperation* m_pTool;
  BOOL m_bSelectLayer;
};
