// The option bars' slider: typed numbers and drags clamped into the range, stored at once and
// reported with WM_HSCROLL; the fields written by the program, clamped and shown.
#include <QImage>
#include <QLineEdit>
#include <QWheelEvent>

#include "ControlKit.h"
#include "platform/gui/Slider.h"

namespace {

using controls_test::ControlTest;
using controls_test::Msg;
using controls_test::MouseAt;
using controls_test::Type;
using controls_test::TypeText;

QLineEdit* NumberOf(CMySlider& slider) { return slider.GetWidget()->findChild<QLineEdit*>(); }
QWidget* FaceOf(CMySlider& slider) { return NumberOf(slider)->parentWidget(); }

void ExpectScroll(const Msg& m, WORD code, int value, const CMySlider& slider) {
  EXPECT_EQ(LOWORD(m.wParam), code);
  EXPECT_EQ(int(int16_t(HIWORD(m.wParam))), value);
  EXPECT_EQ(m.lParam, LPARAM(slider.GetSafeHwnd()));
}

TEST_F(ControlTest, SliderTakesATypedNumberClampedIntoItsRange) {
  const struct {
    const char* typed;
    int finish;  // the key that ends the edit; 0: the focus goes elsewhere
    int value;
    bool reported;
  } cases[] = {
      {"7", Qt::Key_Return, 7, true},    {"150", Qt::Key_Return, 10, true}, {"-3", Qt::Key_Enter, 1, true},
      {"5", 0, 5, true},                 {"2", Qt::Key_Return, 2, false},   {"x", Qt::Key_Return, 2, false},
      {"9", Qt::Key_Escape, 2, false},
  };
  for (const auto& c : cases) {
    CMySlider slider;
    slider.m_strLabel = u"平滑";
    ASSERT_TRUE(slider.Create(&parent, 64, 21));
    slider.SetRange(1, 10);
    slider.SetValue(2);
    parent.log.clear();
    QLineEdit* number = NumberOf(slider);
    EXPECT_FALSE(number->isVisible());
    controls_test::Click(FaceOf(slider), QPoint(30, 10));
    ASSERT_TRUE(number->isVisible()) << c.typed;
    EXPECT_EQ(number->text(), QStringLiteral("2"));
    EXPECT_EQ(number->selectedText(), QStringLiteral("2"));
    TypeText(number, QString::fromLatin1(c.typed));
    if (c.finish) Type(number, c.finish);
    else parent.SetFocus();
    EXPECT_FALSE(number->isVisible());
    EXPECT_EQ(slider.m_nValue, c.value) << c.typed;
    const auto scrolls = parent.Of(WM_HSCROLL);
    ASSERT_EQ(scrolls.size(), c.reported ? 1u : 0u) << c.typed;
    if (c.reported) ExpectScroll(scrolls[0], SB_ENDSCROLL, c.value, slider);
    EXPECT_TRUE(parent.Of(WM_KEYDOWN).empty());
  }
}

TEST_F(ControlTest, SliderDragReportsEachStepThenTheEnd) {
  CMySlider slider;
  ASSERT_TRUE(slider.Create(&parent, 100, 21));
  slider.SetValue(10);
  parent.log.clear();
  QWidget* face = FaceOf(slider);
  MouseAt(face, QEvent::MouseButtonPress, QPoint(50, 10), Qt::LeftButton);
  const struct {
    int x;
    int value;
  } moves[] = {{52, 10}, {70, 30}, {300, 100}, {-500, 0}, {45, 5}};
  for (const auto& m : moves) {
    MouseAt(face, QEvent::MouseMove, QPoint(m.x, 10), Qt::LeftButton);
    EXPECT_EQ(slider.m_nValue, m.value) << m.x;  // stored at once
  }
  MouseAt(face, QEvent::MouseButtonRelease, QPoint(45, 10), Qt::NoButton);
  const auto scrolls = parent.Of(WM_HSCROLL);
  const int expected[] = {30, 100, 0, 5};
  ASSERT_EQ(scrolls.size(), std::size(expected) + 1);  // no report before the drag starts
  for (size_t i = 0; i < std::size(expected); ++i) ExpectScroll(scrolls[i], SB_THUMBTRACK, expected[i], slider);
  ExpectScroll(scrolls.back(), SB_ENDSCROLL, 5, slider);
  EXPECT_FALSE(NumberOf(slider)->isVisible());  // a drag is no click

  parent.log.clear();
  QWheelEvent wheel(QPointF(5, 5), face->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(face, &wheel);
  ASSERT_EQ(parent.Of(WM_HSCROLL).size(), 1u);
  ExpectScroll(parent.Of(WM_HSCROLL)[0], SB_ENDSCROLL, 7, slider);
  EXPECT_TRUE(parent.Of(WM_MOUSEWHEEL).empty());
}

TEST_F(ControlTest, SliderFieldsAreClampedAndShownAsTheProgramSetsThem) {
  CMySlider slider;
  EXPECT_EQ(slider.m_nMin, 0);
  EXPECT_EQ(slider.m_nMax, 100);
  slider.m_strLabel = u"容差";
  slider.m_nValue = 10;
  ASSERT_TRUE(slider.Create(&parent, 64, 21));
  const struct {
    std::function<void()> change;
    int min, max, value;
  } steps[] = {
      {[&] { slider.SetRange(20, 50); }, 20, 50, 20},
      {[&] { slider.SetValue(999); }, 20, 50, 50},
      {[&] { slider.SetRange(60, 40); }, 40, 60, 50},
      {[&] {
         slider.m_nValue = -5;
         slider.UpdateData();
       },
       40, 60, 40},
  };
  for (const auto& s : steps) {
    s.change();
    EXPECT_EQ(slider.m_nMin, s.min);
    EXPECT_EQ(slider.m_nMax, s.max);
    EXPECT_EQ(slider.m_nValue, s.value);
  }
  EXPECT_TRUE(parent.Of(WM_HSCROLL).empty());  // only the user's changes are reported

  // The face shows the fields as they are.
  QWidget* face = FaceOf(slider);
  const QImage atMin = face->grab().toImage();
  slider.m_nValue = 55;
  slider.UpdateData();
  EXPECT_NE(face->grab().toImage(), atMin);
  slider.SetValue(40);
  EXPECT_EQ(face->grab().toImage(), atMin);
  slider.m_strLabel = u"扩张";
  EXPECT_NE(face->grab().toImage(), atMin);
}

}  // namespace
