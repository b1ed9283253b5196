// Drops of files: WM_DROPFILES once the drop has ended, with the paths in UTF-16 (CJK and
// characters beyond the basic plane survive) and the client point; refused for windows
// that did not ask and for anything but local files.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QUrl>
#include <QWidget>
#include <string>
#include <vector>

#include "DragAndDrop.h"
#include "Recorder.h"
#include "platform/gui/Application.h"
#include "platform/gui/DragDrop.h"
#include "platform/gui/Messages.h"

namespace {

using guitest::DragAndDrop;
using guitest::Recorder;

QString Q(const std::u16string& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

class Drops : public ::testing::Test {
 protected:
  void SetUp() override {
    top.resize(300, 200);
    top.show();
    ASSERT_TRUE(own.Create(&top, RECT{10, 10, 110, 90}));
    plain = new QWidget(&top);
    plain->setGeometry(150, 10, 100, 80);
    attached.Attach(plain);
  }

  QWidget top;
  Recorder own;
  QWidget* plain = nullptr;
  Recorder attached;
};

TEST_F(Drops, LocalFilesArriveAsWmDropFilesAfterTheDrop) {
  const std::vector<std::u16string> paths = {u"/tmp/画 布/图层一.kelv", u"/tmp/Ünïcødé 🎨.png", u"/tmp/a.txt"};
  std::vector<QUrl> urls;
  for (const std::u16string& p : paths) urls.push_back(QUrl::fromLocalFile(Q(p)));
  for (bool finishes : {false, true}) {
    SCOPED_TRACE(finishes);
    Recorder& w = finishes ? attached : own;
    gui::DragAcceptFiles(w, TRUE);
    std::vector<std::u16string> got;
    POINT pt{-1, -1};
    HDROP seen = nullptr;
    w.onMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (msg != WM_DROPFILES) return w.DefWindowProc(msg, wParam, lParam);
      seen = reinterpret_cast<HDROP>(wParam);
      const UINT count = gui::DragQueryFile(seen, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) {
        const UINT length = gui::DragQueryFile(seen, i, nullptr, 0);
        std::u16string path(length + 1, u'?');
        EXPECT_EQ(gui::DragQueryFile(seen, i, path.data(), length + 1), length);
        EXPECT_EQ(path[length], u'\0');
        path.resize(length);
        got.push_back(path);
      }
      char16_t small[4] = {u'?', u'?', u'?', u'?'};
      EXPECT_EQ(gui::DragQueryFile(seen, 0, small, 4), 3u);  // cut to fit, with its zero
      EXPECT_EQ(std::u16string(small), u"/tm");
      EXPECT_EQ(gui::DragQueryFile(seen, count, small, 4), 0u);
      EXPECT_TRUE(gui::DragQueryPoint(seen, &pt));
      if (finishes) gui::DragFinish(seen);
      return 0;
    };
    ASSERT_TRUE(DragAndDrop(w.GetWidget(), urls, QPointF(12.6, 34.2)));
    EXPECT_TRUE(w.Of({WM_DROPFILES}).empty());  // after the drop has ended, not inside it
    gui::RunPostedMessages();
    ASSERT_EQ(w.Of({WM_DROPFILES}).size(), 1u);
    EXPECT_EQ(got, paths);
    EXPECT_EQ(pt.x, 12);
    EXPECT_EQ(pt.y, 34);
    // The handle is gone once WM_DROPFILES has returned.
    EXPECT_EQ(gui::DragQueryFile(seen, 0xFFFFFFFF, nullptr, 0), 0u);
    EXPECT_FALSE(gui::DragQueryPoint(seen, &pt));
  }
}

TEST_F(Drops, AreRefusedWhereNotAskedForAndForAnythingButLocalFiles) {
  const QUrl file = QUrl::fromLocalFile(QStringLiteral("/tmp/a.kelv"));
  const QUrl web(QStringLiteral("https://example.org/a.kelv"));
  const struct {
    Recorder* window;
    std::vector<BOOL> accepts;  // DragAcceptFiles calls in order
    std::vector<QUrl> urls;
  } cases[] = {
      {&own, {}, {file}},
      {&attached, {}, {file}},
      {&own, {TRUE}, {web}},
      {&own, {TRUE, FALSE}, {file}},
      {&attached, {TRUE, FALSE}, {file}},
  };
  for (const auto& c : cases) {
    for (BOOL a : c.accepts) gui::DragAcceptFiles(*c.window, a);
    EXPECT_FALSE(DragAndDrop(c.window->GetWidget(), c.urls, QPointF(5, 5)));
    gui::RunPostedMessages();
    EXPECT_TRUE(c.window->Of({WM_DROPFILES}).empty());
  }
}

}  // namespace
