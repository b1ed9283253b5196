// The tool base: every tool of the paint space is an operation held by reference count. The
// paint space offers the current tool every view message and command first, asks it whether
// it draws the view itself, and tells it when an undo or redo has run.
#pragma once
#include "platform/base/Types.h"

class CPaintSpace;

// Update-UI of one command: the handlers on the route enable and check it.
struct CmdUIState {
  BOOL bEnabled = FALSE;
  BOOL bChecked = FALSE;
  void Enable(BOOL on = TRUE) { bEnabled = on; }
  void SetCheck(BOOL on = TRUE) { bChecked = on; }
};

// Codes of OnEnvironmentVaryNotify.
constexpr DWORD myNOTIFY_SELECT = 0x80000000;
constexpr DWORD myNOTIFY_FLAGS = 0x10000;
constexpr DWORD myNOTIFY_UNDO = 0x1000000;
constexpr DWORD myNOTIFY_REDO = 0x2000000;

class COperation {
 public:
  // Button states.
  enum Button : int { myUP = 0, myPRESSED = 1, myDRAGGING = 2 };

  COperation() = default;
  COperation(const COperation&) = delete;
  COperation& operator=(const COperation&) = delete;

  int AddRef() { return ++m_nRef; }
  // At 0 the tool deletes itself.
  int Release();

  // The tool's command id (32771 move ... 32843 eyedropper; 0 for the default tool).
  virtual UINT GetID() { return 0; }
  // The tool becomes current; CPaintSpace::Initialize returns what the first tool answers.
  virtual int Activate() { return 0; }
  virtual void Deactivate() {}
  // TRUE while the tool is idle.
  virtual BOOL IsReady() { return TRUE; }
  // Non-zero when the tool drew the view itself: the space then skips its own redraw.
  virtual BOOL RefreshSpace() { return 0; }
  // A view message, offered here first; TRUE when the tool consumed it.
  virtual BOOL OnWndMsg(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT* /*result*/) { return FALSE; }
  // A command (ui null) or its update-UI (ui given), offered here first; TRUE when handled.
  virtual BOOL OnCmdMsg(UINT /*id*/, CmdUIState* /*ui*/) { return FALSE; }
  // A named sender ("CPaintSpace", "CMyListLayer" ...) changed something.
  virtual void OnEnvironmentVaryNotify(const char16_t* /*sender*/, DWORD /*code*/, void* /*param*/) {}
  // Completes any pending edit (a stroke or an outline in progress).
  virtual void FinishWork() {}

  // Buttons: up, pressed, dragging; where each went down; the last mouse move (client
  // points of the view). The paint space's rotate-and-zoom starts from m_ptMButton.
  int m_nLButton = myUP;
  int m_nMButton = myUP;
  int m_nRButton = myUP;
  POINT m_ptLButton{0, 0};
  POINT m_ptMButton{0, 0};
  POINT m_ptRButton{0, 0};
  POINT m_ptMouse{0, 0};
  CPaintSpace* m_pPaintSpace = nullptr;

 protected:
  virtual ~COperation() = default;

 private:
  int m_nRef = 0;
};

// The tool that stands in while no real tool is current. It edits nothing and lets the
// paint space draw the view; it navigates: a right drag pans, a middle drag rotates and
// zooms around the view's centre, the wheel pans (Shift: sideways) and zooms (Ctrl), and the
// scroll bars scroll.
class COperDefault final : public COperation {
 public:
  static const char16_t* GetClassName() { return u"COperDefault"; }
  // A right press must move further than this (x or y) before it pans.
  static constexpr int kPanThreshold = 2;

  BOOL OnWndMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  void OnButton(int& state, POINT& where, DWORD bit, bool down, POINT pt);
  void OnMouseMove(WPARAM wParam, POINT pt);
  // Every button state cleared after the capture went or a button went up elsewhere.
  void DropButtons();
};
