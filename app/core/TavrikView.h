// The document's view: a window that shows the paint space through its screen image, hands
// every message to the paint space (whose current tool sees it first), and is the paint
// space's host for the client size, the screen image, repaints, the scroll bars and the
// palette's colours.
//
// Order of making: construct the view, construct the document with the view as its host,
// then Create the view's window over that document. Order of ending: DestroyWindow (from
// then on the worker finds no image to present into), then the document, then the view.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "core/PaintSpaceHost.h"
#include "platform/gui/DragDrop.h"
#include "platform/gui/ViewWidget.h"

class CTavrikDoc;
class CPaintSpace;
class QWidget;

// To the view: wParam 1 asks for one WM_MOUSELEAVE when the mouse next leaves it.
constexpr UINT WM_MYTRACKMOUSE = 0x805A;
// The view's own, posted when a thread other than the UI thread asks for a repaint of the
// view (wParam: erase) or of the frame.
constexpr UINT WM_MYVIEWINVALIDATE = 0x805B;
constexpr UINT WM_MYFRAMEINVALIDATE = 0x805C;

class CTavrikView : public gui::ViewWidget, public IPaintSpaceHost {
 public:
  CTavrikView();
  ~CTavrikView() override;
  CTavrikView(const CTavrikView&) = delete;
  CTavrikView& operator=(const CTavrikView&) = delete;

  static const char16_t* GetClassName() { return u"CTavrikView"; }

  // Makes the view's window, a child of parent filling rc (an empty rc: 0,0,9,9; the owner
  // lays it out), with both scroll bars, guarded by the document's drawing lock. The
  // document was made with this view as its host. FALSE when the window cannot be made.
  BOOL Create(QWidget* parent, CTavrikDoc* doc, const RECT& rc = RECT{0, 0, 9, 9});
  CTavrikDoc* GetDocument() const { return m_pDoc; }
  // The document's paint space, null without a document.
  CPaintSpace* GetSpace() const;

  // The frame's part of hosting the space: repainting the frame and ending the side bars'
  // pending edits. Either may be empty.
  void SetFrameCallbacks(std::function<void()> invalidateFrame, std::function<void()> finishListWork);
  // Files dropped on the view that the current tool does not take: the first one opens as
  // the document when its name ends in ".kelv" (any case), else goes to the image import.
  // Without a callback such a drop is refused silently.
  // The frame's services that tools reach through the host (null: none).
  void SetShell(IShellServices* shell) { m_pShell = shell; }
  void SetOpenDocumentCallback(std::function<void(const std::u16string& path)> open);
  void SetImportImageCallback(std::function<void(const std::u16string& path)> import);

  // The image the view shows; made by Create, null before.
  gui::ScreenImage* GetImage() const { return m_pImage.load(); }

  // Every message: the paint space (its current tool first), then the view's own handling.
  // An error escaping a handler goes to the error report; the message then answers 0.
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // IPaintSpaceHost.
  SIZE GetClientSize() override;
  HDC GetDC() override;
  void ReleaseDC(HDC dc) override;
  gui::DeviceContext* GetViewDC() override;
  void ReleaseViewDC(gui::DeviceContext* dc) override;
  void InvalidateView(BOOL erase) override;
  void InvalidateFrame() override;
  void SyncScrollBars(const ScrollBarState& horz, const ScrollBarState& vert) override;
  COLORREF GetColor(int index) override;
  void FinishListWork() override;
  void SetCapture() override;
  void ReleaseCapture() override;
  POINT ClientToScreen(POINT pt) override;
  IShellServices* GetShell() override { return m_pShell; }
  void TrackMouseLeave() override;
  void TakeFocus() override;

 private:
  bool OnUiThread() const { return std::this_thread::get_id() == m_uiThread; }
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
  void OnDropFiles(HDROP drop);

  CTavrikDoc* m_pDoc = nullptr;
  IShellServices* m_pShell = nullptr;
  std::atomic<gui::ScreenImage*> m_pImage{nullptr};
  std::thread::id m_uiThread;
  std::function<void()> m_fnInvalidateFrame;
  std::function<void()> m_fnFinishListWork;
  std::function<void(const std::u16string&)> m_fnOpenDocument;
  std::function<void(const std::u16string&)> m_fnImportImage;
  std::atomic<bool> m_bInvalidatePosted{false};
};
