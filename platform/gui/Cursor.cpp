#include "Cursor.h"

#include <QBitmap>
#include <QImage>
#include <QPixmap>
#include <map>
#include <memory>
#include <vector>

#include "Internal.h"

namespace gui {

namespace {

// Handles are indices + 1 into this list; freed with the application (pixmaps must not
// outlive it).
std::vector<std::unique_ptr<QCursor>>& Cursors() {
  static std::vector<std::unique_ptr<QCursor>> cursors;
  return cursors;
}

std::map<int, HCURSOR>& Loaded() {
  static std::map<int, HCURSOR> loaded;
  return loaded;
}

HCURSOR Add(QCursor cursor) {
  Cursors().push_back(std::make_unique<QCursor>(std::move(cursor)));
  return reinterpret_cast<HCURSOR>(uintptr_t(Cursors().size()));
}

}  // namespace

HCURSOR LoadCursor(int id) {
  auto it = Loaded().find(id);
  if (it != Loaded().end()) return it->second;
  Qt::CursorShape shape;
  switch (id) {
    case IDC_ARROW: shape = Qt::ArrowCursor; break;
    case IDC_IBEAM: shape = Qt::IBeamCursor; break;
    case IDC_WAIT: shape = Qt::WaitCursor; break;
    case IDC_CROSS: shape = Qt::CrossCursor; break;
    case IDC_SIZENWSE: shape = Qt::SizeFDiagCursor; break;
    case IDC_SIZENESW: shape = Qt::SizeBDiagCursor; break;
    case IDC_SIZEWE: shape = Qt::SizeHorCursor; break;
    case IDC_SIZENS: shape = Qt::SizeVerCursor; break;
    case IDC_SIZEALL: shape = Qt::SizeAllCursor; break;
    case IDC_NO: shape = Qt::ForbiddenCursor; break;
    case IDC_HAND: shape = Qt::PointingHandCursor; break;
    default: return nullptr;
  }
  return Loaded()[id] = Add(QCursor(shape));
}

HCURSOR CreateCursor(int hotX, int hotY, const uint8_t* andMask, const uint8_t* xorMask) {
  if (!andMask || !xorMask) return nullptr;
  // Qt's pair: mask 1 shows the bitmap (1 black, 0 white); mask 0 with bitmap 1 inverts the
  // screen, with bitmap 0 is transparent. So mask = !AND and bitmap = !(AND ^ XOR).
  uint8_t bits[128], mask[128];
  for (int i = 0; i < 128; ++i) {
    mask[i] = uint8_t(~andMask[i]);
    bits[i] = uint8_t(~(andMask[i] ^ xorMask[i]));
  }
  QBitmap bitmap = QBitmap::fromData(QSize(32, 32), bits, QImage::Format_Mono);
  QBitmap maskBitmap = QBitmap::fromData(QSize(32, 32), mask, QImage::Format_Mono);
  return Add(QCursor(bitmap, maskBitmap, hotX, hotY));
}

HCURSOR CreateColorCursor(int hotX, int hotY, const uint32_t* pixels, int width, int height) {
  if (!pixels || width <= 0 || height <= 0) return nullptr;
  QImage image(reinterpret_cast<const uchar*>(pixels), width, height, width * 4,
               QImage::Format_ARGB32);
  return Add(QCursor(QPixmap::fromImage(image.copy()), hotX, hotY));
}

namespace detail {

void FreeCursors() {
  Loaded().clear();
  Cursors().clear();
}

QCursor CursorFor(HCURSOR cursor) {
  if (!cursor) return QCursor(Qt::BlankCursor);
  size_t index = size_t(reinterpret_cast<uintptr_t>(cursor));
  if (index == 0 || index > Cursors().size()) return QCursor(Qt::ArrowCursor);
  return *Cursors()[index - 1];
}

}  // namespace detail

}  // namespace gui
