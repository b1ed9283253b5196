// The option bars' drop-down: rows appended to its list, a choice in its popup written to the
// current row and reported to the notify window, a cancel that changes nothing, the face that
// shows the current row, wheel steps, and its life on a row layout as the option bar's.
#include <QHBoxLayout>
#include <QImage>
#include <QWheelEvent>
#include <memory>

#include "ControlKit.h"
#include "platform/gui/Application.h"
#include "platform/gui/ComboBox.h"
#include "platform/gui/ListBox.h"

namespace {

using controls_test::ControlTest;
using controls_test::LogWindow;
using controls_test::Msg;
using controls_test::MouseAt;

constexpr int kWidth = 80, kHeight = 21;
constexpr uint32_t kFill = 0xECECE8, kHoverFill = 0xF8F8F4, kOpenFill = 0xDCDCD8;

// The face: the control's widget's child that fills it.
QWidget* FaceOf(CMyComboBox& combo) { return combo.GetWidget()->childAt(kWidth / 2, kHeight / 2); }

void AddRows(CMyComboBox& combo, std::initializer_list<const char16_t*> rows) {
  for (const char16_t* row : rows) combo.GetListWindow()->SendMessage(gui::LB_INSERTSTRING, WPARAM(-1), LPARAM(row));
}

// The middle of a row of the open popup, in the list's client coordinates.
QPoint RowPoint(CMyComboBox& combo, int row) {
  RECT rc;
  combo.GetListWindow()->GetItemRect(row, &rc);
  return QPoint((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
}

void Wheel(QWidget* w, int delta) {
  const QPointF at(10, 10);
  QWheelEvent ev(at, w->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                 false);
  QApplication::sendEvent(w, &ev);
}

void Escape(QWidget* w) {
  QKeyEvent ev(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(w, &ev);
}

// What the face shows.
QImage Shot(CMyComboBox& combo) { return FaceOf(combo)->grab().toImage(); }

// Pixels of the text's place (left of the arrow, inside the frame) darker than mid-grey.
int InkInText(const QImage& shot) {
  int ink = 0;
  for (int y = 2; y < shot.height() - 2; ++y)
    for (int x = 2; x < shot.width() - 16; ++x)
      if (qGray(shot.pixel(x, y)) < 0x80) ++ink;
  return ink;
}

// The WM_MYCOMBOCHANGED the window got once the queue ran.
std::vector<Msg> Changes(LogWindow& w) {
  gui::RunPostedMessages();
  return w.Of(WM_MYCOMBOCHANGED);
}

// Opens the popup with a click on the face.
void Open(CMyComboBox& combo) {
  controls_test::Click(FaceOf(combo), QPoint(20, 10));
  ASSERT_TRUE(combo.GetDroppedState());
}

// Chooses a row of the open popup with the mouse.
void Choose(CMyComboBox& combo, int row) {
  QWidget* list = combo.GetListWindow()->GetWidget();
  MouseAt(list, QEvent::MouseMove, RowPoint(combo, row), Qt::NoButton);
  controls_test::Click(list, RowPoint(combo, row));
}

TEST_F(ControlTest, ComboRowsOpenUnderTheFaceAndAChoiceIsWrittenAndReported) {
  LogWindow other;
  ASSERT_TRUE(other.Create(&parent, RECT{0, 100, 50, 150}));
  for (bool toOther : {false, true}) {
    SCOPED_TRACE(toOther);
    CMyComboBox combo;
    ASSERT_TRUE(combo.Create(&parent, kWidth, kHeight, nullptr, toOther ? other.GetSafeHwnd() : nullptr));
    combo.MoveWindow(RECT{30, 40, 30 + kWidth, 40 + kHeight});
    AddRows(combo, {u"circle", u"star"});
    combo.GetListWindow()->SendMessage(gui::LB_INSERTSTRING, 0, LPARAM(u"square"));
    ASSERT_EQ(combo.GetCount(), 3);
    std::u16string text;
    combo.GetListWindow()->GetText(2, text);
    EXPECT_EQ(text, u"star");  // -1 appends
    combo.m_nCurSel = 2;
    combo.UpdateData();
    parent.log.clear();
    other.log.clear();

    Open(combo);
    RECT face, popup;
    combo.GetWindowRect(&face);
    gui::GWindow* window = gui::GWindow::FromHandle(combo.GetListWindow()->GetSafeHwnd());
    ASSERT_TRUE(window);
    window->GetWindowRect(&popup);  // the list fills the popup but for its 1-pixel frame
    EXPECT_EQ(popup.left, face.left + 1);
    EXPECT_EQ(popup.top, face.bottom + 1);
    EXPECT_EQ(popup.bottom - popup.top, 3 * 20);
    EXPECT_EQ(combo.GetListWindow()->GetCurSel(), 2);
    EXPECT_EQ(qGray(Shot(combo).pixel(3, 3)), qGray(kOpenFill));
    // The rows show their text.
    const QImage rows = combo.GetListWindow()->GetWidget()->grab().toImage();
    int ink = 0;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < rows.width(); ++x) ink += qGray(rows.pixel(x, y)) < 0x80;
    EXPECT_GT(ink, 10);

    Choose(combo, 0);
    EXPECT_FALSE(combo.GetDroppedState());
    LogWindow& told = toOther ? other : parent;
    const std::vector<Msg> got = Changes(told);  // after the input that closed the popup
    EXPECT_EQ(combo.m_nCurSel, 0);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, 0u);
    EXPECT_EQ(got[0].lParam, LPARAM(combo.GetSafeHwnd()));
    EXPECT_TRUE(Changes(toOther ? parent : other).empty());
    EXPECT_EQ(gui::GetCapture(), nullptr);
    EXPECT_EQ(qGray(Shot(combo).pixel(3, 3)), qGray(kFill));

    // Choosing the current row again is a choice too.
    told.log.clear();
    Open(combo);
    Choose(combo, 0);
    EXPECT_EQ(Changes(told).size(), 1u);
  }
}

TEST_F(ControlTest, ACancelledComboPopupChangesNothing) {
  CMyComboBox combo;
  ASSERT_TRUE(combo.Create(&parent, kWidth, kHeight, nullptr));
  AddRows(combo, {u"one", u"two", u"three"});
  combo.SetCurSel(1);
  parent.log.clear();
  QWidget* list = combo.GetListWindow()->GetWidget();
  // Escape, and a second click on the face, which closes the popup instead of opening it anew.
  for (bool byFace : {false, true}) {
    SCOPED_TRACE(byFace);
    Open(combo);
    MouseAt(list, QEvent::MouseMove, RowPoint(combo, 2), Qt::NoButton);
    if (byFace) controls_test::Click(FaceOf(combo), QPoint(20, 10));
    else Escape(list);
    EXPECT_FALSE(combo.GetDroppedState());
    EXPECT_EQ(gui::GetCapture(), nullptr);
    EXPECT_EQ(combo.m_nCurSel, 1);
    EXPECT_TRUE(Changes(parent).empty());
  }
}

TEST_F(ControlTest, TheComboFaceShowsTheCurrentRowAndItsState) {
  CMyComboBox combo;
  ASSERT_TRUE(combo.Create(&parent, kWidth, kHeight, nullptr));
  AddRows(combo, {u"I", u"Wide words"});
  const int none = InkInText(Shot(combo));
  EXPECT_EQ(none, 0);
  // Written directly, the row shows once UpdateData clamps it and paints.
  combo.m_nCurSel = 0;
  combo.UpdateData();
  const int narrow = InkInText(Shot(combo));
  combo.m_nCurSel = 1;
  combo.UpdateData();
  const int wide = InkInText(Shot(combo));
  EXPECT_GT(narrow, 0);
  EXPECT_GT(wide, 2 * narrow);
  combo.m_nCurSel = 9;
  combo.UpdateData();
  EXPECT_EQ(combo.m_nCurSel, 1);
  EXPECT_EQ(InkInText(Shot(combo)), wide);
  combo.SetCurSel(-4);
  EXPECT_EQ(combo.m_nCurSel, -1);
  EXPECT_EQ(InkInText(Shot(combo)), 0);

  // The face under the mouse, and disabled: the text greyed, no dark ink.
  combo.SetCurSel(1);
  EXPECT_EQ(Shot(combo).pixel(3, 3) & 0xFFFFFFu, kFill);
  MouseAt(FaceOf(combo), QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
  EXPECT_EQ(Shot(combo).pixel(3, 3) & 0xFFFFFFu, kHoverFill);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(FaceOf(combo), &leave);
  gui::RunPostedMessages();
  EXPECT_EQ(Shot(combo).pixel(3, 3) & 0xFFFFFFu, kFill);
  combo.EnableWindow(FALSE);
  const QImage disabled = Shot(combo);
  EXPECT_EQ(InkInText(disabled), 0);
  int grey = 0;
  for (int y = 2; y < disabled.height() - 2; ++y)
    for (int x = 2; x < disabled.width() - 16; ++x) grey += qGray(disabled.pixel(x, y)) < 0xD0;
  EXPECT_GT(grey, 0);
}

TEST_F(ControlTest, TheWheelOverTheComboFaceStepsTheRow) {
  const struct {
    int from, delta, to;
  } cases[] = {
      {0, -120, 1}, {1, 120, 0}, {2, -120, 2}, {0, 120, 0}, {2, 360, 0}, {-1, -120, 0}, {-1, 120, 2}, {1, 60, 1},
  };
  CMyComboBox combo;
  ASSERT_TRUE(combo.Create(&parent, kWidth, kHeight, nullptr));
  AddRows(combo, {u"a", u"b", u"c"});
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.from << " " << c.delta);
    combo.SetCurSel(c.from);
    parent.log.clear();
    Wheel(FaceOf(combo), c.delta);
    if (c.delta % 120) Wheel(FaceOf(combo), -c.delta);  // half a notch, then back: nothing
    EXPECT_EQ(combo.m_nCurSel, c.to);
    const std::vector<Msg> got = Changes(parent);
    ASSERT_EQ(got.size(), c.to != c.from ? 1u : 0u);
    if (!got.empty()) {
      EXPECT_EQ(got[0].wParam, WPARAM(c.to));
    }
  }
}

TEST_F(ControlTest, TheComboMayBeDestroyedFromItsOwnNotification) {
  for (bool byWheel : {false, true}) {
    SCOPED_TRACE(byWheel);
    auto combo = std::make_unique<CMyComboBox>();
    ASSERT_TRUE(combo->Create(&parent, kWidth, kHeight, nullptr));
    AddRows(*combo, {u"a", u"b"});
    parent.onMessage = [&](UINT msg, WPARAM wParam, LPARAM lParam) -> LRESULT {
      if (msg == WM_MYCOMBOCHANGED) combo.reset();
      return parent.DefWindowProc(msg, wParam, lParam);
    };
    QWidget* face = FaceOf(*combo);
    if (byWheel) {
      Wheel(face, -120);
    } else {
      Open(*combo);
      Choose(*combo, 1);
    }
    gui::RunPostedMessages();
    QApplication::processEvents();
    EXPECT_EQ(combo, nullptr);
    EXPECT_EQ(gui::GetCapture(), nullptr);
    parent.onMessage = nullptr;
  }
}

TEST_F(ControlTest, TheComboFaceHandsTheKeyboardBack) {
  CMyComboBox combo;
  ASSERT_TRUE(combo.Create(&parent, kWidth, kHeight, nullptr));
  parent.SetFocus();
  ASSERT_EQ(gui::GetFocus(), parent.GetSafeHwnd());
  MouseAt(FaceOf(combo), QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
  FaceOf(combo)->setFocus(Qt::MouseFocusReason);  // what a real click does first
  EXPECT_EQ(gui::GetFocus(), parent.GetSafeHwnd());
}

// The option bar lines its controls up on a row layout; the combo keeps its size there and
// its popup opens where the face now is.
TEST_F(ControlTest, TheComboKeepsItsSizeOnARowLayout) {
  auto* host = new QWidget(&top);
  auto* row = new QHBoxLayout(host);
  row->setContentsMargins(2, 0, 2, 0);
  host->setGeometry(0, 150, 420, 40);
  host->show();
  LogWindow bar;
  bar.Attach(host);
  CMyComboBox first, second;
  for (CMyComboBox* combo : {&first, &second}) {
    ASSERT_TRUE(combo->Create(&bar, kWidth, kHeight, nullptr));
    AddRows(*combo, {u"a", u"b"});
    row->addWidget(combo->GetWidget());
  }
  host->adjustSize();
  row->activate();
  QApplication::processEvents();
  EXPECT_EQ(second.GetWidget()->size(), QSize(kWidth, kHeight));
  EXPECT_GE(second.GetWidget()->x(), first.GetWidget()->x() + kWidth);
  EXPECT_EQ(FaceOf(second)->size(), QSize(kWidth, kHeight));
  Open(second);
  RECT face, popup;
  second.GetWindowRect(&face);
  gui::GWindow::FromHandle(second.GetListWindow()->GetSafeHwnd())->GetWindowRect(&popup);
  EXPECT_EQ(popup.left, face.left + 1);
  EXPECT_EQ(popup.top, face.bottom + 1);
  Choose(second, 1);
  const std::vector<Msg> got = Changes(bar);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].lParam, LPARAM(second.GetSafeHwnd()));
}

}  // namespace
