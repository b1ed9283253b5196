// The tool that stands in while no real tool is current: the paint space makes it current
// when it is constructed, until Initialize activates the first real tool. It edits nothing
// and navigates nothing: it keeps the button states and points up to date, lets the paint
// space draw the view, takes no capture and swallows the scroll bars' messages.
#pragma once
#include "tools/Operation.h"
#include "tools/ToolUndo.h"

class COperDefault final : public COperation {
 public:
  COperDefault();

  const char16_t* GetClassName() const override { return u"COperDefault"; }
  int Activate() override { return 0; }
  BOOL IsReady() override { return m_myState == myREADY; }
  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  // It never records a step: its parts return at once without reading one.
  int32_t ExecuteUndoStep(OUndoRestore*, OUndoStore*, OUndoHandler*, BOOL) override { return 0; }

  CToolUndoParts m_xParts{this};
  int32_t m_myState = myREADY;
};
