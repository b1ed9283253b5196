// The tool base: every tool of the paint space is an operation held by reference count. The
// paint space offers the current tool every view message and command first, asks it whether
// it draws the view itself, and tells it when an undo or redo has run.
//
// The mouse conventions all tools share live here as protected helpers, so that a tool's
// OnWndMsg handles its own left button and hands the rest on:
// - a press stores its point, sets the button to pressed and takes the view's capture through
//   the paint space's capture mask (ButtonDown); a release clears the bit (ReleaseButtonBit)
//   and, after the tool's handler, the state (ButtonUp);
// - a move (MouseMove) notices a button released outside the view (the capture mask differs
//   from the held buttons: the drag ends through FinishWork), turns a pressed button into a
//   drag once it passes the tool's threshold, rotates and zooms under a middle drag and pans
//   under a right drag;
// - NavigationMsg takes the right and middle buttons, the ring menu on a right click, capture
//   loss, the scroll bars and the wheel.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

class CPaintSpace;
class CFunctionMenu;
class CToolUndoReplay;
struct OUndoRestore;
struct OUndoStore;
struct OUndoHandler;
namespace gui {
class GWindow;
}

// Update-UI of one command: the handlers on the route enable and check it.
struct CmdUIState {
  BOOL bEnabled = FALSE;
  BOOL bChecked = FALSE;
  BOOL bCheckSet = FALSE;  // a handler said checked or not: the button shows it either way
  const char16_t* pszText = nullptr;  // a new menu text, or null to keep it
  void Enable(BOOL on = TRUE) { bEnabled = on; }
  void SetCheck(BOOL on = TRUE) {
    bChecked = on;
    bCheckSet = TRUE;
  }
  void SetText(const char16_t* text) { pszText = text; }
};

// Codes of OnEnvironmentVaryNotify.
constexpr DWORD myNOTIFY_SELECT = 0x80000000;
constexpr DWORD myNOTIFY_FLAGS = 0x10000;
constexpr DWORD myNOTIFY_UNDO = 0x1000000;
constexpr DWORD myNOTIFY_REDO = 0x2000000;

// The option windows a tool hands to the option bar.
constexpr int OPTION_WND_MAX = 8;
// A SPACE press released within this many milliseconds is a tap: the ring menu opens.
constexpr DWORD SPACE_TAP_MS = 249;

// How far a pressed button moves from where it went down before it drags.
struct DragThreshold {
  enum Kind : uint8_t { myAXIS = 0, myDISTANCE = 1 };
  Kind kind;
  int nPixels;
  // myAXIS: |dx| or |dy| above nPixels; myDISTANCE: the distance above nPixels.
  bool PassedBy(int dx, int dy) const;
};

struct DragThresholds {
  DragThreshold left, middle, right;
};

class COperation {
 public:
  // Button states.
  enum Button : int { myUP = 0, myPRESSED = 1, myDRAGGING = 2 };
  enum ButtonId : int { myLEFT = 0, myMIDDLE = 1, myRIGHT = 2 };
  // The tools' m_myState: higher values are a tool's own (2 for a running stroke ...).
  enum State : int32_t { myNULL = 0, myREADY = 1 };

  // The clock of the SPACE tap; tests set their own (null: the system's).
  using TickSource = DWORD (*)();
  static void SetTickSource(TickSource source);
  static DWORD GetTickCount();

  COperation() = default;
  COperation(const COperation&) = delete;
  COperation& operator=(const COperation&) = delete;

  int AddRef() { return ++m_nRef; }
  // At 0 the tool deletes itself.
  int Release();

  // The tool's command id (32771 move ... 32843 eyedropper; 0 for the default tool).
  virtual UINT GetID() { return 0; }
  // The tool becomes current; CPaintSpace::Initialize returns what the first tool answers.
  // By default it hands its option windows to the option bar.
  virtual int Activate();
  virtual void Deactivate() {}
  // TRUE while the tool is idle.
  virtual BOOL IsReady() { return TRUE; }
  // Non-zero when the tool drew the view itself: the space then skips its own redraw.
  virtual BOOL RefreshSpace() { return 0; }
  // A view message, offered here first; TRUE when the tool consumed it.
  virtual BOOL OnWndMsg(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/, LRESULT* /*result*/) { return FALSE; }
  // A command (ui null) or its update-UI (ui given), offered here first; TRUE when handled.
  // By default the tool's own button shows enabled and checked.
  virtual BOOL OnCmdMsg(UINT id, CmdUIState* ui);
  // A named sender ("CPaintSpace", "CMyListLayer" ...) changed something.
  virtual void OnEnvironmentVaryNotify(const char16_t* /*sender*/, DWORD /*code*/, void* /*param*/) {}
  // Ends the gesture under way (a stroke, a flooding, an outline, a dragged frame ...): it is
  // committed as its release would commit it, or dropped where the release would ask or where
  // nothing is committed yet. Afterwards the tool is idle (IsReady) and uses no layer it took
  // for the gesture. The paint space calls it before every command that changes layers (see
  // CPaintSpace::FinishWork); a tool may call it itself.
  virtual void FinishWork() {}
  // FinishWork, then the buttons still held go up and the capture goes, so that the rest of
  // an interrupted drag reaches the tool as plain moves and its release as a release without
  // a press.
  void EndGesture();
  // After an error in the middle of a gesture: EndGesture, its own errors reported, never
  // thrown, so that the tool is idle again.
  void EndGestureAfterError();
  // The target of the handler parts' GetInterface: null in every tool.
  virtual void* GetInterface(const char16_t* /*name*/) { return nullptr; }
  // The class name error traces carry.
  virtual const char16_t* GetClassName() const { return u"COperation"; }
  // The ring-menu provider; null: the tool has no ring menu.
  virtual CFunctionMenu* GetFunctionMenu() { return nullptr; }

  // One step of the tool's undo part (redo FALSE) or redo part: by default the shared replay
  // of ToolUndo.h, which finds the step's layer and calls ApplyUndoStep. 0 done, 1 cancelled.
  virtual int32_t ExecuteUndoStep(OUndoRestore* step, OUndoStore* opposite, OUndoHandler* sibling, BOOL redo);
  // Applies a step of the tag step.GetTag() and adds its inverse data; FALSE for a tag the
  // tool does not know.
  virtual BOOL ApplyUndoStep(CToolUndoReplay& /*step*/) { return FALSE; }

  // Buttons: up, pressed, dragging; where each went down; the last mouse move (client
  // points of the view). The paint space's rotate-and-zoom starts from m_ptMButton.
  int m_nLButton = myUP;
  int m_nMButton = myUP;
  int m_nRButton = myUP;
  POINT m_ptLButton{0, 0};
  POINT m_ptMButton{0, 0};
  POINT m_ptRButton{0, 0};
  POINT m_ptMouse{0, 0};
  // Free for the tool (the trim tool keeps a space point there).
  BYTE m_abScratch[32] = {};
  // The option windows, ended by the first null; the tool owns them.
  gui::GWindow* m_apOptionWnd[OPTION_WND_MAX] = {};
  CPaintSpace* m_pPaintSpace = nullptr;

 protected:
  virtual ~COperation();

  // ---- mouse and capture -------------------------------------------------------------------
  // The client point of a mouse message: two signed 16-bit halves.
  static POINT MsgPoint(LPARAM lParam);
  // The tool's thresholds; by default a left or middle drag starts at any movement and a
  // right drag beyond 8 pixels.
  virtual DragThresholds GetDragThresholds() const;
  int& StateOf(ButtonId button);
  POINT& PointOf(ButtonId button);
  // Press: the point, pressed, and the view's capture with the button's bit.
  void ButtonDown(ButtonId button, POINT pt);
  // Release: the button's bit goes (the capture with the last one).
  void ReleaseButtonBit(ButtonId button);
  // The bit and the state.
  void ButtonUp(ButtonId button);
  // What MouseMove reports.
  enum MoveResult : DWORD { myMOVE_DROPPED = 1, myMOVE_LDRAG = 2, myMOVE_MDRAG = 4, myMOVE_RDRAG = 8 };
  // A move with the buttons wParam holds: m_ptMouse, the lost-button check (myMOVE_DROPPED:
  // the drag ended, nothing more follows), the thresholds (the myMOVE_xDRAG bits of buttons
  // that started dragging now), then rotate-and-zoom or panning.
  DWORD MouseMove(WPARAM wParam, POINT pt);
  // With a capture bit set: the mask cleared, the capture released, every button up and,
  // with finish, FinishWork. FALSE when no bit was set.
  BOOL DropButtons(BOOL finish);
  // The right button went up at pt (its bit already cleared): a click without a drag opens
  // the ring menu there. TRUE when it opened.
  BOOL RightUpRingMenu(POINT pt);
  // WM_RBUTTONUP: the bit and the state go; a click without a drag goes on to
  // OnRButtonUp_Function at the release point.
  void RightButtonUp(LPARAM lParam);
  // The ring menu at a client point, when the tool is ready, no button holds the capture and
  // it has a provider. TRUE when it opened.
  BOOL ShowRingMenu(POINT pt);
  // The right and middle buttons, the ring menu, mouse moves, capture loss, the scroll bars
  // and the wheel; FALSE for any other message.
  BOOL NavigationMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // WM_MOUSEWHEEL and WM_MOUSEHWHEEL taken without effect (tools whose wheel neither moves the
  // view nor sizes anything); FALSE for any other message.
  static BOOL SwallowWheel(UINT msg, LRESULT* result);
  // A tool that draws the view itself answers TRUE: navigation then leaves the redraw to
  // RedrawView.
  virtual BOOL DrawsViewItself() const { return FALSE; }
  // Recomposes the view after navigation (scroll: the pan since the last composition, which
  // the redraw applies to the view). A tool adds its overlay after calling this.
  virtual void RedrawView(const POINT* scroll);

  // ---- SPACE gesture -----------------------------------------------------------------------
  // TRUE when the last mouse move lay inside the view.
  BOOL IsCursorOverView() const;
  // WM_KEYDOWN of SPACE: TRUE when it starts the gesture (no repeat, cursor over the view).
  BOOL SpaceDown(LPARAM lParam);
  // WM_KEYUP of SPACE: TRUE when the gesture was a tap of at most SPACE_TAP_MS over the view.
  BOOL SpaceUp();
  // After a tap: the cursor becomes the ring's anchor (m_ptRButton) and the ring opens there.
  BOOL SpaceTapRingMenu();
  // What a right click (a press and release without a drag) does at the client point: the
  // ring menu, or a step back of the tool's own.
  virtual void OnRButtonUp_Function(POINT /*pt*/) {}
  // WM_KEYUP: SPACE released over the view does what a right click there does. FALSE for
  // other keys.
  BOOL SpaceUpAsRightClick(WPARAM key);
  // WM_SETCURSOR over the client: the tool's cursor resource. FALSE elsewhere.
  static BOOL SetToolCursor(LPARAM lParam, LRESULT* result, UINT cursorId);

  // ---- option windows ----------------------------------------------------------------------
  // Builds the option windows once (when the option bar exists) and sends the bar
  // WM_MYSETOPTIONS with them. FALSE when there is no option bar.
  BOOL HandOverOptions();
  // Fills m_apOptionWnd as children of the option bar: by default the option tool bar of
  // m_nOptionToolBar (none when 0). FALSE when it could not be made (it is tried again).
  virtual BOOL CreateOptionWindows(gui::GWindow* optionBar);
  int CountOptionWindows() const;
  UINT m_nOptionToolBar = 0;

 private:
  int m_nRef = 0;
  BOOL m_bOptionsBuilt = FALSE;
  BOOL m_bSpaceDown = FALSE;
  DWORD m_dwSpaceDown = 0;
};
