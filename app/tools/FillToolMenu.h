// The ring menu of the bucket, outline and shape tools: the palette, layer choice, tool switch,
// undo, colour pick and view flip items both answer, and a fourth sector a tool may add.
#pragma once
#include "tools/FunctionMenu.h"

class COperation;

class CFillToolMenu : public CFunctionMenu {
 public:
  CFillToolMenu(UINT bitmapId, COperation* tool) : CFunctionMenu(bitmapId), m_pTool(tool) {}
  const char16_t* GetLabel(UINT item, int state) override;
  void Run(int x, int y, UINT item, DWORD popupTick) override;

 protected:
  COperation* m_pTool;
};
