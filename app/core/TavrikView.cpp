#include "TavrikView.h"

#include "core/PaintSpace.h"
#include "core/TavrikDoc.h"
#include "platform/base/Messages.h"
#include "platform/gui/Dc.h"
#include "platform/gui/ErrorHook.h"
#include "platform/gui/Messages.h"

namespace {

// Shown before the space draws: the grey around the space.
constexpr COLORREF kViewBackground = RGB(0x80, 0x80, 0x80);

bool IsDocumentPath(const std::u16string& path) {
  constexpr std::u16string_view kExtension = u".kelv";
  if (path.size() < kExtension.size()) return false;
  const size_t start = path.size() - kExtension.size();
  for (size_t i = 0; i < kExtension.size(); ++i) {
    char16_t c = path[start + i];
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    if (c != kExtension[i]) return false;
  }
  return true;
}

}  // namespace

CTavrikView::CTavrikView() : m_uiThread(std::this_thread::get_id()) {}

CTavrikView::~CTavrikView() {
  // WM_DESTROY must still reach this class.
  DestroyWindow();
}

BOOL CTavrikView::Create(QWidget* parent, CTavrikDoc* doc, const RECT& rc) {
  if (GetSafeHwnd() || !doc) return FALSE;
  m_uiThread = std::this_thread::get_id();
  m_pDoc = doc;
  CPaintSpace* space = doc->GetPaintSpace();
  SetBackgroundColor(kViewBackground);
  if (!gui::ViewWidget::Create(parent, rc, &space->GetDrawLock())) {
    m_pDoc = nullptr;
    return FALSE;
  }
  // Made here, on the UI thread: the worker reaches the image through GetDC.
  m_pImage = GetScreenImage();
  gui::DragAcceptFiles(GetSafeHwnd(), TRUE);
  RECT client;
  GetClientRect(&client);
  space->SetClientSize(client.right, client.bottom);
  space->InvalidateComposite();
  Invalidate(FALSE);
  return TRUE;
}

CPaintSpace* CTavrikView::GetSpace() const { return m_pDoc ? m_pDoc->GetPaintSpace() : nullptr; }

void CTavrikView::SetFrameCallbacks(std::function<void()> invalidateFrame, std::function<void()> finishListWork) {
  m_fnInvalidateFrame = std::move(invalidateFrame);
  m_fnFinishListWork = std::move(finishListWork);
}

void CTavrikView::SetOpenDocumentCallback(std::function<void(const std::u16string&)> open) {
  m_fnOpenDocument = std::move(open);
}

void CTavrikView::SetImportImageCallback(std::function<void(const std::u16string&)> import) {
  m_fnImportImage = std::move(import);
}

LRESULT CTavrikView::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    return Dispatch(msg, wParam, lParam);
  } catch (...) {
    gui::ReportCurrentException();
    return 0;
  }
}

LRESULT CTavrikView::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_MYVIEWINVALIDATE:
      m_bInvalidatePosted = false;
      Invalidate(wParam != 0);
      return 0;
    case WM_MYFRAMEINVALIDATE:
      if (m_fnInvalidateFrame) m_fnInvalidateFrame();
      return 0;
    case WM_MYTRACKMOUSE:
      if (wParam == 1) TrackMouseLeave();
      return 0;
    case WM_DESTROY:
      // The worker may still present: it finds no image from here on.
      if (CPaintSpace* space = GetSpace()) {
        GAutoLock lock(space->GetDrawLock());
        m_pImage = nullptr;
      } else {
        m_pImage = nullptr;
      }
      break;
    default:
      break;
  }
  CPaintSpace* space = GetSpace();
  if (space && space->GetState() == CPaintSpace::myREADY) {
    LRESULT result = 0;
    if (space->OnWndMsg(msg, wParam, lParam, &result)) return result;
    switch (msg) {
      case WM_PAINT:
        space->OnDraw(GetImage());
        return 0;
      case WM_HSCROLL:
        space->OnHScroll(wParam, lParam);
        return 0;
      case WM_VSCROLL:
        space->OnVScroll(wParam, lParam);
        return 0;
      default:
        break;
    }
  } else if (msg == WM_PAINT) {
    if (gui::ScreenImage* image = GetImage()) image->Fill(kViewBackground);
    return 0;
  }
  if (msg == WM_DROPFILES) {
    OnDropFiles(reinterpret_cast<HDROP>(wParam));
    return 0;
  }
  return DefWindowProc(msg, wParam, lParam);
}

// The drop has ended (the window layer delivers it afterwards), so opening a document may
// ask questions in dialogs of its own.
void CTavrikView::OnDropFiles(HDROP drop) {
  const UINT length = gui::DragQueryFile(drop, 0, nullptr, 0);
  std::u16string path(length + 1, u'\0');
  path.resize(gui::DragQueryFile(drop, 0, path.data(), length + 1));
  gui::DragFinish(drop);
  if (path.empty()) return;
  if (IsDocumentPath(path)) {
    if (m_fnOpenDocument) m_fnOpenDocument(path);
  } else if (m_fnImportImage) {
    m_fnImportImage(path);
  }
}

// ---------------------------------------------------------------------------------------------
// The host of the paint space

SIZE CTavrikView::GetClientSize() {
  RECT rc;
  GetClientRect(&rc);
  return SIZE{rc.right, rc.bottom};
}

HDC CTavrikView::GetDC() {
  CPaintSpace* space = GetSpace();
  if (!space) return nullptr;
  // Held until ReleaseDC; the image only goes under this same lock.
  space->GetDrawLock().Enter();
  gui::ScreenImage* image = m_pImage.load();
  if (!image) space->GetDrawLock().Leave();
  return image;
}

void CTavrikView::ReleaseDC(HDC dc) {
  if (!dc) return;
  if (CPaintSpace* space = GetSpace()) space->GetDrawLock().Leave();
}

POINT CTavrikView::ClientToScreen(POINT pt) {
  gui::GWindow::ClientToScreen(&pt);
  return pt;
}

gui::DeviceContext* CTavrikView::GetViewDC() {
  auto* image = static_cast<gui::ScreenImage*>(GetDC());
  return image ? new gui::DeviceContext(image) : nullptr;
}

void CTavrikView::ReleaseViewDC(gui::DeviceContext* dc) {
  if (!dc) return;
  HDC image = dc->GetImage();
  delete dc;
  ReleaseDC(image);
}

void CTavrikView::InvalidateView(BOOL erase) {
  if (OnUiThread()) {
    Invalidate(erase);
    return;
  }
  // Once until the UI thread has taken it.
  if (!m_bInvalidatePosted.exchange(true) && !PostMessage(WM_MYVIEWINVALIDATE, erase, 0))
    m_bInvalidatePosted = false;
}

void CTavrikView::InvalidateFrame() {
  if (!m_fnInvalidateFrame) return;
  if (OnUiThread()) m_fnInvalidateFrame();
  else PostMessage(WM_MYFRAMEINVALIDATE, 0, 0);
}

void CTavrikView::SyncScrollBars(const ScrollBarState& horz, const ScrollBarState& vert) {
  if (!GetSafeHwnd() || !OnUiThread()) return;
  const ScrollBarState bars[2] = {horz, vert};
  for (int bar : {SB_HORZ, SB_VERT}) {
    SCROLLINFO si{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, SPACE_SCROLL_RANGE,
                  UINT(bars[bar].nPage), bars[bar].nPos, 0};
    SetScrollInfo(bar, &si, TRUE);
  }
}

COLORREF CTavrikView::GetColor(int index) { return m_pDoc ? m_pDoc->GetColorBar()->GetColor(index) : 0; }

void CTavrikView::FinishListWork() {
  if (m_fnFinishListWork) m_fnFinishListWork();
}

void CTavrikView::SetCapture() {
  if (GetSafeHwnd() && OnUiThread()) gui::GWindow::SetCapture();
}

void CTavrikView::ReleaseCapture() {
  if (OnUiThread() && GetSafeHwnd() && gui::GetCapture() == GetSafeHwnd()) gui::ReleaseCapture();
}

void CTavrikView::TrackMouseLeave() { TrackMouseEvent(TME_LEAVE); }

void CTavrikView::TakeFocus() {
  if (gui::GetFocus() != GetSafeHwnd()) SetFocus();
}
