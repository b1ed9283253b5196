// Drags local files or other urls onto a widget as the desktop would: the enter, then the
// drop where the enter was taken. For the tests of windows that take dropped files.
#pragma once
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <vector>

namespace guitest {

// false when the widget refused the drag. A taken drag must be a copy: a source told of a
// move may delete its files.
inline bool DragAndDrop(QWidget* widget, const std::vector<QUrl>& urls, QPointF at) {
  QMimeData mime;
  mime.setUrls(QList<QUrl>(urls.begin(), urls.end()));
  const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
  QDragEnterEvent enter(at.toPoint(), offered, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &enter);
  if (!enter.isAccepted()) return false;
  EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
  QDropEvent drop(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &drop);
  EXPECT_TRUE(drop.isAccepted());
  EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
  return true;
}

}  // namespace guitest
