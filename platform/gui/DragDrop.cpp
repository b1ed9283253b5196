#include "DragDrop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Internal.h"
#include "platform/base/Text.h"

namespace gui {

namespace {

struct DroppedFiles {
  std::vector<std::u16string> files;
  POINT pt;
};

// Live drops by handle. Handles count up and are never reused, so a stale handle finds
// nothing; whatever is left at exit goes with the map.
std::mutex g_dropMutex;
std::map<uintptr_t, DroppedFiles> g_drops;
uintptr_t g_nextDrop = 1;

HDROP NewDrop(DroppedFiles files) {
  std::lock_guard<std::mutex> lock(g_dropMutex);
  uintptr_t id = g_nextDrop++;
  g_drops.emplace(id, std::move(files));
  return reinterpret_cast<HDROP>(id);
}

std::vector<std::u16string> LocalFiles(const QMimeData* mime) {
  std::vector<std::u16string> files;
  if (!mime || !mime->hasUrls()) return files;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    QString path = url.toLocalFile();
    if (!path.isEmpty()) files.push_back(detail::FromQString(path));
  }
  return files;
}

}  // namespace

void DragAcceptFiles(HWND hwnd, BOOL accept) {
  GWindow* w = GWindow::FromHandle(hwnd);
  if (!w) return;
  detail::WindowAccess::SetAcceptFiles(w, accept != 0);
  QWidget* widget = w->GetWidget();
  if (!widget) return;
  // An attached widget may take drops of its own: it is only ever switched on.
  if (detail::WindowAccess::OwnsWidget(w)) widget->setAcceptDrops(accept != 0);
  else if (accept) widget->setAcceptDrops(true);
}

UINT DragQueryFile(HDROP drop, UINT index, char16_t* buf, UINT size) {
  std::lock_guard<std::mutex> lock(g_dropMutex);
  auto it = g_drops.find(reinterpret_cast<uintptr_t>(drop));
  if (it == g_drops.end()) return 0;
  const std::vector<std::u16string>& files = it->second.files;
  if (index == 0xFFFFFFFFu) return UINT(files.size());
  if (index >= files.size()) return 0;
  const std::u16string& path = files[index];
  if (!buf) return UINT(path.size());
  return size ? UINT(plat::CopyTrunc(buf, size, path)) : 0;
}

BOOL DragQueryPoint(HDROP drop, POINT* pt) {
  std::lock_guard<std::mutex> lock(g_dropMutex);
  auto it = g_drops.find(reinterpret_cast<uintptr_t>(drop));
  if (it == g_drops.end() || !pt) return FALSE;
  *pt = it->second.pt;
  return TRUE;
}

void DragFinish(HDROP drop) {
  std::lock_guard<std::mutex> lock(g_dropMutex);
  g_drops.erase(reinterpret_cast<uintptr_t>(drop));
}

namespace detail {

// Files are copied, never moved: a source told "moved" may delete its files.
bool HandleDragEvent(GWindow* w, QWidget* widget, QEvent* e) {
  auto* de = static_cast<QDropEvent*>(e);
  std::vector<std::u16string> files;
  if (WindowAccess::AcceptsFiles(w)) files = LocalFiles(de->mimeData());
  const Qt::DropActions possible = de->possibleActions();
  const Qt::DropAction action = possible & Qt::CopyAction   ? Qt::CopyAction
                                : possible & Qt::LinkAction ? Qt::LinkAction
                                                            : Qt::IgnoreAction;
  if (files.empty() || action == Qt::IgnoreAction) {
    de->ignore();
    return true;
  }
  de->setDropAction(action);
  de->accept();
  if (e->type() != QEvent::Drop) return true;
  HDROP drop = NewDrop(DroppedFiles{std::move(files), ToDevice(de->position(), widget->devicePixelRatioF())});
  if (!w->PostMessage(WM_GUI_DROPFILES, WPARAM(drop), 0)) DragFinish(drop);
  return true;
}

void DeliverDrop(GWindow* w, HDROP drop) {
  struct Finish {
    HDROP drop;
    ~Finish() { DragFinish(drop); }
  } finish{drop};
  if (w) w->SendMessage(WM_DROPFILES, WPARAM(drop), 0);
}

}  // namespace detail

}  // namespace gui
