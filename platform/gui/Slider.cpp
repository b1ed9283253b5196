#include "Slider.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "ControlHost.h"
#include "Internal.h"

namespace {

// Movement (logical pixels) before a press becomes a drag; a press released before it is a
// click, which opens the number edit.
constexpr int kDragStart = 3;
constexpr int kNumberChars = 8;

// The face of the slider: paints the fields of its slider and turns the mouse into values.
// It reads the slider's fields only before it calls back (a callback may destroy the slider;
// a destroyed slider's face is hidden and gets no more events).
class SliderFace final : public QWidget {
 public:
  SliderFace(const CMySlider* slider, QWidget* parent);
  ~SliderFace() override;
  // The user chose a value, with the scroll code that reports it.
  std::function<void(int value, WORD code)> onUserValue;
  bool IsEditing() const { return m_pNumber->isVisible(); }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  int Shown() const { return std::clamp(m_slider->m_nValue, m_slider->m_nMin, std::max(m_slider->m_nMin, m_slider->m_nMax)); }
  void OpenNumber();
  // Ends the number edit; with take, the typed number (clamped) becomes the value.
  void CloseNumber(bool take);

  const CMySlider* m_slider;
  gui::detail::KeyEdit* m_pNumber;
  QPointer<QWidget> m_prevFocus;
  bool m_bPressed = false;
  bool m_bDragging = false;
  int m_pressX = 0;
  int m_startValue = 0;
  int m_wheel = 0;
};

SliderFace::SliderFace(const CMySlider* slider, QWidget* parent)
    : QWidget(parent), m_slider(slider), m_pNumber(new gui::detail::KeyEdit(this)) {
  setCursor(Qt::SizeHorCursor);
  setFocusPolicy(Qt::NoFocus);
  m_pNumber->hide();
  m_pNumber->setMaxLength(kNumberChars);
  m_pNumber->setAlignment(Qt::AlignCenter);
  m_pNumber->onEnter = [this] { CloseNumber(true); };
  m_pNumber->onEscape = [this] { CloseNumber(false); };
  m_pNumber->onFocusOut = [this](Qt::FocusReason) { CloseNumber(true); };
}

SliderFace::~SliderFace() {
  m_pNumber->onEnter = m_pNumber->onEscape = nullptr;
  m_pNumber->onFocusOut = nullptr;
}

void SliderFace::resizeEvent(QResizeEvent*) { m_pNumber->setGeometry(rect()); }

void SliderFace::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  const QRect r = rect().adjusted(0, 0, -1, -1);
  p.fillRect(rect(), pal.color(QPalette::Base));
  const int value = Shown();
  const int span = m_slider->m_nMax - m_slider->m_nMin;
  const int inner = std::max(0, width() - 2);
  const int fill = span > 0 ? int(std::lround(double(value - m_slider->m_nMin) * inner / span)) : inner;
  QColor bar = pal.color(QPalette::Highlight);
  bar.setAlpha(isEnabled() ? 110 : 50);
  p.fillRect(QRect(1, 1, fill, std::max(0, height() - 2)), bar);
  p.setPen(pal.color(QPalette::Mid));
  p.drawRect(r);
  p.setPen(pal.color(QPalette::Text));
  const QRect text = rect().adjusted(3, 0, -3, 0);
  const QString number = QString::number(value);
  if (m_slider->m_strLabel.empty()) {
    p.drawText(text, Qt::AlignCenter, number);
    return;
  }
  p.drawText(text, Qt::AlignVCenter | Qt::AlignRight, number);
  const int room = text.width() - p.fontMetrics().horizontalAdvance(number) - 3;
  const QString label = p.fontMetrics().elidedText(gui::detail::ToQString(m_slider->m_strLabel), Qt::ElideRight, room);
  p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, label);
}

void SliderFace::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  m_bPressed = true;
  m_bDragging = false;
  m_pressX = int(e->position().x());
  m_startValue = Shown();
}

void SliderFace::mouseMoveEvent(QMouseEvent* e) {
  if (!m_bPressed || !(e->buttons() & Qt::LeftButton)) return;
  const int dx = int(e->position().x()) - m_pressX;
  if (!m_bDragging && std::abs(dx) < kDragStart) return;
  m_bDragging = true;
  // The whole width spans the whole range, measured from where the drag began.
  const int span = m_slider->m_nMax - m_slider->m_nMin;
  const int value = std::clamp(m_startValue + int(std::lround(double(dx) * span / std::max(1, width()))),
                               m_slider->m_nMin, std::max(m_slider->m_nMin, m_slider->m_nMax));
  if (value != m_slider->m_nValue && onUserValue) onUserValue(value, SB_THUMBTRACK);
}

void SliderFace::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !m_bPressed) return;
  m_bPressed = false;
  if (!m_bDragging) {
    OpenNumber();
    return;
  }
  m_bDragging = false;
  if (onUserValue) onUserValue(m_slider->m_nValue, SB_ENDSCROLL);
}

void SliderFace::wheelEvent(QWheelEvent* e) {
  e->accept();
  m_wheel += e->angleDelta().y();
  const int notches = m_wheel / 120;
  if (!notches) return;
  m_wheel -= notches * 120;
  const int value = std::clamp(Shown() + notches, m_slider->m_nMin, std::max(m_slider->m_nMin, m_slider->m_nMax));
  if (value != m_slider->m_nValue && onUserValue) onUserValue(value, SB_ENDSCROLL);
}

void SliderFace::OpenNumber() {
  if (IsEditing()) return;
  m_prevFocus = QApplication::focusWidget();
  m_pNumber->setText(QString::number(Shown()));
  m_pNumber->selectAll();
  m_pNumber->show();
  m_pNumber->raise();
  m_pNumber->setFocus(Qt::OtherFocusReason);
}

void SliderFace::CloseNumber(bool take) {
  if (!IsEditing()) return;
  bool ok = false;
  const int typed = m_pNumber->text().trimmed().toInt(&ok);
  const int value = std::clamp(typed, m_slider->m_nMin, std::max(m_slider->m_nMin, m_slider->m_nMax));
  const bool changed = take && ok && value != m_slider->m_nValue;
  // Hidden first: hiding moves the focus away, which would take the number a second time.
  const bool hadFocus = m_pNumber->hasFocus();
  m_pNumber->hide();
  if (hadFocus && m_prevFocus && m_prevFocus != m_pNumber) m_prevFocus->setFocus(Qt::OtherFocusReason);
  m_prevFocus = nullptr;
  update();
  if (changed && onUserValue) onUserValue(value, SB_ENDSCROLL);
}

}  // namespace

CMySlider::CMySlider() = default;

CMySlider::~CMySlider() { DestroyControl(); }

BOOL CMySlider::Create(gui::GWindow* parent, int width, int height, int fontHeight, UINT id) {
  return CreateControl(parent, RECT{0, 0, width, height}, WS_CHILD | WS_VISIBLE, id, fontHeight, [this](QWidget* host) {
    auto* face = new SliderFace(this, host);
    m_pFace = face;
    auto* layout = new QHBoxLayout(host);
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(face);
    face->onUserValue = Guard([this](int value, WORD code) { OnUserValue(value, code); });
  });
}

int CMySlider::Clamped(int value) const { return std::clamp(value, m_nMin, std::max(m_nMin, m_nMax)); }

void CMySlider::Repaint() {
  if (GetWidget()) m_pFace->update();
}

void CMySlider::SetValue(int value) {
  m_nValue = Clamped(value);
  Repaint();
}

void CMySlider::SetRange(int min, int max) {
  m_nMin = std::min(min, max);
  m_nMax = std::max(min, max);
  m_nValue = Clamped(m_nValue);
  Repaint();
}

void CMySlider::SetLabel(const char16_t* label) {
  m_strLabel = label ? label : u"";
  Repaint();
}

BOOL CMySlider::UpdateData() {
  m_nValue = Clamped(m_nValue);
  Repaint();
  return TRUE;
}

void CMySlider::OnUserValue(int value, WORD code) {
  m_nValue = value;
  Repaint();
  NotifyParent(WM_HSCROLL, MAKEWPARAM(code, WORD(int16_t(value))), LPARAM(GetSafeHwnd()));
}
