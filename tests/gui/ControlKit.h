// What the tests of the child controls share: a parent window that logs what it is sent,
// synthesised input, and bitmap strips for the resource registry.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <memory>
#include <vector>

#include "Recorder.h"
#include "platform/gui/Dc.h"
#include "platform/gui/Resources.h"
#include "platform/gui/Window.h"

namespace controls_test {

using guitest::Msg;

// A plain window of the program that logs every message, then lets onMessage answer; Of also
// takes a single kind.
class LogWindow : public guitest::Recorder {
 public:
  using Recorder::Of;
  std::vector<Msg> Of(UINT msg) const { return Of({msg}); }
};

inline void MouseAt(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
  QMouseEvent ev(type, QPointF(at), w->mapToGlobal(QPointF(at)),
                 type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

inline void Click(QWidget* w, QPoint at) {
  MouseAt(w, QEvent::MouseButtonPress, at, Qt::LeftButton);
  MouseAt(w, QEvent::MouseButtonRelease, at, Qt::NoButton);
}

// A key pressed and released; text is what it types.
inline void Type(QWidget* w, int key, const QString& text = QString()) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

// Types each character of text.
inline void TypeText(QWidget* w, const QString& text) {
  for (QChar c : text) Type(w, Qt::Key_unknown, QString(c));
}

// A bitmap resource of cells side by side, each filled with its colour (0xRRGGBB) but for
// its top left pixel, which has the button-face grey that artwork leaves clear.
inline gui::BitmapMaker Strip(int cellWidth, int cellHeight, std::vector<uint32_t> colors) {
  return [=] {
    auto image = std::make_unique<gui::ScreenImage>();
    image->Resize(cellWidth * int(colors.size()), cellHeight);
    for (int y = 0; y < cellHeight; ++y)
      for (size_t c = 0; c < colors.size(); ++c)
        for (int x = 0; x < cellWidth; ++x)
          image->Bits()[size_t(y) * size_t(image->Pitch()) + c * size_t(cellWidth) + size_t(x)] =
              0xFF000000u | (x == 0 && y == 0 ? 0xC0C0C0u : colors[c]);
    return image;
  };
}

// An active top-level window with a program window covering it, the controls' parent.
class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    top.resize(420, 240);
    top.show();
    QApplication::setActiveWindow(&top);
    ASSERT_TRUE(parent.Create(&top, RECT{0, 0, 420, 240}));
    QApplication::processEvents();
    parent.log.clear();
  }
  void TearDown() override { parent.onMessage = nullptr; }

  QWidget top;
  LogWindow parent;
};

}  // namespace controls_test
