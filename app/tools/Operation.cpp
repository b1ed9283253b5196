#include "Operation.h"

#include <cstdlib>

#include "core/PaintSpace.h"
#include "core/ShellServices.h"
#include "frame/Resource.h"
#include "odata/GError.h"
#include "platform/base/Sync.h"
#include "platform/gui/Cursor.h"
#include "platform/gui/Messages.h"
#include "platform/gui/Resources.h"
#include "platform/gui/OptionToolBar.h"
#include "tools/FunctionMenu.h"

static_assert(CAPTURE_LBUTTON == MK_LBUTTON && CAPTURE_RBUTTON == MK_RBUTTON && CAPTURE_MBUTTON == MK_MBUTTON);
static_assert(OPTION_WND_MAX == OPTIONBAR_MAX_WINDOWS);

namespace {

COperation::TickSource g_pfnTick = nullptr;

constexpr DWORD kCaptureBits[3] = {CAPTURE_LBUTTON, CAPTURE_MBUTTON, CAPTURE_RBUTTON};

}  // namespace

bool DragThreshold::PassedBy(int dx, int dy) const {
  if (kind == myDISTANCE) return int64_t(dx) * dx + int64_t(dy) * dy > int64_t(nPixels) * nPixels;
  return std::abs(dx) > nPixels || std::abs(dy) > nPixels;
}

void COperation::SetTickSource(TickSource source) { g_pfnTick = source; }

DWORD COperation::GetTickCount() { return g_pfnTick ? g_pfnTick() : plat::GetTickCount(); }

COperation::~COperation() {
  for (gui::GWindow*& w : m_apOptionWnd) {
    delete w;
    w = nullptr;
  }
}

int COperation::Release() {
  int n = --m_nRef;
  if (n == 0) delete this;
  return n;
}

int COperation::Activate() {
  HandOverOptions();
  return 0;
}

BOOL COperation::OnCmdMsg(UINT id, CmdUIState* ui) {
  if (!ui || id == 0 || id != GetID()) return FALSE;
  ui->Enable(TRUE);
  ui->SetCheck(TRUE);
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Mouse and capture

POINT COperation::MsgPoint(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

DragThresholds COperation::GetDragThresholds() const {
  return {{DragThreshold::myAXIS, 0}, {DragThreshold::myAXIS, 0}, {DragThreshold::myDISTANCE, 8}};
}

int& COperation::StateOf(ButtonId button) {
  return button == myLEFT ? m_nLButton : button == myMIDDLE ? m_nMButton : m_nRButton;
}

POINT& COperation::PointOf(ButtonId button) {
  return button == myLEFT ? m_ptLButton : button == myMIDDLE ? m_ptMButton : m_ptRButton;
}

void COperation::ButtonDown(ButtonId button, POINT pt) {
  PointOf(button) = pt;
  StateOf(button) = myPRESSED;
  m_pPaintSpace->CaptureButton(kCaptureBits[button]);
}

void COperation::ReleaseButtonBit(ButtonId button) { m_pPaintSpace->ReleaseButton(kCaptureBits[button]); }

void COperation::ButtonUp(ButtonId button) {
  ReleaseButtonBit(button);
  StateOf(button) = myUP;
}

DWORD COperation::MouseMove(WPARAM wParam, POINT pt) {
  CPaintSpace* space = m_pPaintSpace;
  m_ptMouse = pt;
  // A button went up outside the view: the drag has ended and this move is not part of it.
  // (The mask's bits are the MK_ bits of the same buttons.)
  const DWORD mask = space->GetCaptureMask();
  if (mask && mask != DWORD(wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON))) {
    DropButtons(TRUE);
    return myMOVE_DROPPED;
  }
  const DragThresholds t = GetDragThresholds();
  DWORD started = 0;
  auto passes = [&](ButtonId b, const DragThreshold& threshold, DWORD bit) {
    const POINT from = PointOf(b);
    if (StateOf(b) != myPRESSED || !threshold.PassedBy(pt.x - from.x, pt.y - from.y)) return false;
    StateOf(b) = myDRAGGING;
    started |= bit;
    return true;
  };
  passes(myLEFT, t.left, myMOVE_LDRAG);
  // The gesture measures from the view as it is now and from m_ptMButton.
  if (passes(myMIDDLE, t.middle, myMOVE_MDRAG)) space->BeginGesture();
  passes(myRIGHT, t.right, myMOVE_RDRAG);

  const BOOL selfDrawn = DrawsViewItself();
  if (m_nMButton == myDRAGGING) {
    // Measured from the press: the press point stays.
    space->RotateZoomBy(pt.x, pt.y, pt.x - m_ptMButton.x, pt.y - m_ptMButton.y, selfDrawn);
    if (selfDrawn) RedrawView(nullptr);
  } else if (m_nRButton == myDRAGGING) {
    // Each move pans by the step since the last.
    POINT applied{0, 0};
    space->ScrollBy(pt.x, pt.y, pt.x - m_ptRButton.x, pt.y - m_ptRButton.y, selfDrawn ? &applied : nullptr);
    m_ptRButton = pt;
    if (selfDrawn) RedrawView(&applied);
  }
  return started;
}

BOOL COperation::DropButtons(BOOL finish) {
  if (!m_pPaintSpace->GetCaptureMask()) return FALSE;
  // The mask goes before the capture, so that the capture-lost message finds nothing to end.
  m_pPaintSpace->ReleaseAllButtons();
  m_nLButton = m_nMButton = m_nRButton = myUP;
  if (finish) FinishWork();
  return TRUE;
}

void COperation::EndGesture() {
  FinishWork();
  m_pPaintSpace->ReleaseAllButtons();
  m_nLButton = m_nMButton = m_nRButton = myUP;
}

void COperation::EndGestureAfterError() {
  try {
    EndGesture();
  } catch (GErrRecord* e) {
    e->AddRef();
    if (GSystem* system = m_pPaintSpace->GetSystem()) system->ReportError(e);
    e->Release();
    m_pPaintSpace->ReleaseAllButtons();
    m_nLButton = m_nMButton = m_nRButton = myUP;
  }
}

BOOL COperation::RightUpRingMenu(POINT pt) {
  const bool click = m_nRButton == myPRESSED;
  m_nRButton = myUP;
  return click && ShowRingMenu(pt);
}

void COperation::RightButtonUp(LPARAM lParam) {
  ReleaseButtonBit(myRIGHT);
  const BOOL click = m_nRButton == myPRESSED;
  m_nRButton = myUP;
  if (click) OnRButtonUp_Function(MsgPoint(lParam));
}

BOOL COperation::ShowRingMenu(POINT pt) {
  CPaintSpace* space = m_pPaintSpace;
  if (!IsReady() || space->GetCaptureMask()) return FALSE;
  CFunctionMenu* menu = GetFunctionMenu();
  IShellServices* shell = space->GetShell();
  if (!menu || !shell) return FALSE;
  const POINT screen = space->GetHost()->ClientToScreen(pt);
  shell->PopupRingMenu(screen.x, screen.y, menu);
  return TRUE;
}

BOOL COperation::NavigationMsg(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  CPaintSpace* space = m_pPaintSpace;
  switch (msg) {
    case WM_MOUSEMOVE:
      MouseMove(wParam, MsgPoint(lParam));
      return TRUE;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      ButtonDown(myRIGHT, MsgPoint(lParam));
      return TRUE;
    case WM_RBUTTONUP:
      ReleaseButtonBit(myRIGHT);
      RightUpRingMenu(MsgPoint(lParam));
      return TRUE;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      ButtonDown(myMIDDLE, MsgPoint(lParam));
      return TRUE;
    case WM_MBUTTONUP:
      ButtonUp(myMIDDLE);
      return TRUE;
    case WM_CAPTURECHANGED:
      DropButtons(TRUE);
      return TRUE;
    case WM_HSCROLL:
      space->OnHScroll(wParam, lParam);
      return TRUE;
    case WM_VSCROLL:
      space->OnVScroll(wParam, lParam);
      return TRUE;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      // Not while a drag moves the view.
      if (m_nRButton != myDRAGGING && m_nMButton != myDRAGGING) space->OnMouseWheel(msg, wParam, m_ptMouse);
      if (result) *result = 0;
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL COperation::SwallowWheel(UINT msg, LRESULT* result) {
  if (msg != WM_MOUSEWHEEL && msg != WM_MOUSEHWHEEL) return FALSE;
  if (result) *result = 0;
  return TRUE;
}

void COperation::RedrawView(const POINT* scroll) {
  CPaintSpace* space = m_pPaintSpace;
  GAutoLock lock(space->GetDrawLock());
  if (scroll && !space->IsCompositeValid()) {
    // The back buffer holds no current view to move: compose the whole moved view.
    space->GetShowDevice()->ScrollView(space->m_pTransform, scroll->x, scroll->y);
    space->RefreshDraw(nullptr, nullptr);
  } else {
    space->RefreshDraw(nullptr, scroll);
  }
}

// ---------------------------------------------------------------------------------------------
// SPACE

BOOL COperation::IsCursorOverView() const {
  const ViewTransform* t = m_pPaintSpace->m_pTransform;
  return m_ptMouse.x >= 0 && m_ptMouse.y >= 0 && m_ptMouse.x < t->clientWidth && m_ptMouse.y < t->clientHeight;
}

BOOL COperation::SpaceDown(LPARAM lParam) {
  // Bit 30: the key was already down (auto-repeat).
  if ((DWORD(lParam) & 0x40000000u) || !IsCursorOverView()) return FALSE;
  m_bSpaceDown = TRUE;
  m_dwSpaceDown = GetTickCount();
  return TRUE;
}

BOOL COperation::SpaceUp() {
  if (!m_bSpaceDown) return FALSE;
  m_bSpaceDown = FALSE;
  return IsCursorOverView() && DWORD(GetTickCount() - m_dwSpaceDown) <= SPACE_TAP_MS;
}

BOOL COperation::SpaceTapRingMenu() {
  m_ptRButton = m_ptMouse;
  return ShowRingMenu(m_ptMouse);
}

BOOL COperation::SpaceUpAsRightClick(WPARAM key) {
  if (key != VK_SPACE) return FALSE;
  if (IsCursorOverView()) {
    m_ptRButton = m_ptMouse;
    OnRButtonUp_Function(m_ptMouse);
  }
  return TRUE;
}

BOOL COperation::SetToolCursor(LPARAM lParam, LRESULT* result, UINT cursorId) {
  if (LOWORD(lParam) != HTCLIENT) return FALSE;
  gui::SetCursor(gui::LoadCursorResource(cursorId));
  if (result) *result = TRUE;
  return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Option windows

int COperation::CountOptionWindows() const {
  int n = 0;
  while (n < OPTION_WND_MAX && m_apOptionWnd[n]) ++n;
  return n;
}

BOOL COperation::HandOverOptions() {
  gui::GWindow* bar = m_pPaintSpace ? m_pPaintSpace->GetOptionBar() : nullptr;
  if (!bar) return FALSE;
  if (!m_bOptionsBuilt) m_bOptionsBuilt = CreateOptionWindows(bar);
  // The bar takes window handles, ended by the first null.
  HWND handles[OPTION_WND_MAX + 1] = {};
  const int count = CountOptionWindows();
  for (int i = 0; i < count; ++i) handles[i] = m_apOptionWnd[i]->GetSafeHwnd();
  bar->SendMessage(WM_MYSETOPTIONS, WPARAM(handles), LPARAM(count));
  return TRUE;
}

BOOL COperation::CreateOptionWindows(gui::GWindow* optionBar) {
  if (!m_nOptionToolBar) return TRUE;
  auto* toolBar = new gui::OptionToolBar();
  if (!toolBar->Create(optionBar, WS_CHILD | WS_VISIBLE) || !toolBar->LoadToolBar(m_nOptionToolBar)) {
    delete toolBar;
    return FALSE;
  }
  // Its buttons' commands take the main frame's route, which reaches the current tool. The
  // shell is the main frame's window.
  if (auto* frame = dynamic_cast<gui::GWindow*>(m_pPaintSpace->GetShell())) toolBar->SetOwner(frame->GetSafeHwnd());
  m_apOptionWnd[0] = toolBar;
  return TRUE;
}
