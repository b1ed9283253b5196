#include "Control.h"

#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>

#include "ControlHost.h"
#include "Resources.h"

namespace gui {

// ---- shared Qt pieces -----------------------------------------------------------------------

namespace detail {

ControlHost::ControlHost(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

bool ControlHost::event(QEvent* e) {
  if (e->type() == QEvent::Resize) updateGeometry();  // a layout that holds it sees the new size
  if (m_hook) m_hook(e);
  return QWidget::event(e);
}

bool KeyEdit::event(QEvent* e) {
  // Enter and Escape are ours even when a shortcut of the frame has the same key.
  if (e->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(e)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
      e->accept();
      return true;
    }
  }
  return QLineEdit::event(e);
}

void KeyEdit::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !e->isAutoRepeat()) {
    e->accept();
    if (onEnter) onEnter();
    return;
  }
  if (key == Qt::Key_Escape) {
    e->accept();
    if (onEscape) onEscape();
    return;
  }
  QLineEdit::keyPressEvent(e);
  e->accept();
}

void KeyEdit::keyReleaseEvent(QKeyEvent* e) {
  QLineEdit::keyReleaseEvent(e);
  e->accept();
}

void KeyEdit::focusOutEvent(QFocusEvent* e) {
  QLineEdit::focusOutEvent(e);
  // The edit's own context menu takes the focus for a moment; that is no leaving.
  if (e->reason() != Qt::PopupFocusReason && onFocusOut) onFocusOut(e->reason());
}

void ApplyFontHeight(QWidget* widget, int pixels) {
  if (!widget || pixels <= 0) return;
  QFont font = widget->font();
  font.setPixelSize(pixels);
  widget->setFont(font);
}

QImage LoadBitmapImage(UINT bitmapId) {
  std::unique_ptr<ScreenImage> bitmap = LoadBitmapResource(bitmapId);
  if (!bitmap || bitmap->Width() <= 0 || bitmap->Height() <= 0) return QImage();
  const int w = bitmap->Width(), h = bitmap->Height();
  QImage image(w, h, QImage::Format_ARGB32);
  GAutoLock lock(bitmap->GetLock());
  for (int y = 0; y < h; ++y) {
    const uint32_t* src = bitmap->Bits() + size_t(y) * size_t(bitmap->Pitch());
    auto* dst = reinterpret_cast<uint32_t*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const uint32_t p = src[x];
      if (bitmap->KeepsAlpha()) dst[x] = p;
      else dst[x] = (p & 0xFFFFFF) == 0xC0C0C0 ? 0u : (p | 0xFF000000u);
    }
  }
  return image;
}

QPixmap BitmapCell(const QImage& image, int index, int cellWidth, int cellHeight) {
  if (image.isNull() || index < 0 || cellWidth <= 0 || cellHeight <= 0) return QPixmap();
  const int columns = image.width() / cellWidth;
  const int rows = image.height() / cellHeight;
  if (columns <= 0 || index >= columns * rows) return QPixmap();
  return QPixmap::fromImage(
      image.copy((index % columns) * cellWidth, (index / columns) * cellHeight, cellWidth, cellHeight));
}

}  // namespace detail

// ---- Control --------------------------------------------------------------------------------

Control::Control() = default;

Control::~Control() { DestroyControl(); }

BOOL Control::CreateControl(GWindow* parent, const RECT& rc, DWORD style, UINT id, int fontHeight,
                            const std::function<void(QWidget*)>& build) {
  if (GetWidget() || !parent || !parent->GetWidget()) return FALSE;
  auto* host = new detail::ControlHost(parent->GetWidget());
  host->hide();
  m_life = std::make_shared<Life>();
  m_hParent = parent->GetSafeHwnd();
  Attach(host);
  SetDlgCtrlID(id);
  detail::ApplyFontHeight(host, fontHeight);
  MoveWindow(rc, FALSE);
  if (build) build(host);
  if (style & WS_DISABLED) host->setEnabled(false);
  if (style & WS_VISIBLE) host->show();
  return TRUE;
}

void Control::DestroyControl() {
  QWidget* host = GetWidget();
  DestroyWindow();
  if (m_life) m_life->alive = false;
  if (host) {
    // Hidden first, so that the focus leaves the control's widgets while they are whole.
    host->hide();
    // A widget in the middle of the event that made it notify goes once that event is over.
    if (m_life && m_life->depth > 0) host->deleteLater();
    else delete host;
  }
  m_life.reset();
  m_hParent = nullptr;
}

bool Control::Notify(HWND target, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Life> life = m_life;
  if (!life || !life->alive) return false;
  ++life->depth;
  GuardedCall([&] { gui::SendMessage(target, msg, wParam, lParam); });
  --life->depth;
  return life->alive;
}

}  // namespace gui
