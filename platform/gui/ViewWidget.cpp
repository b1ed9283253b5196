#include "ViewWidget.h"

namespace gui {

ViewWidget::ViewWidget() = default;

ViewWidget::~ViewWidget() { ReleaseTablet(); }

BOOL ViewWidget::Create(GWindow* parent, const RECT& rc, GLock* drawingLock, DWORD style) {
  return Create(parent ? parent->GetWidget() : static_cast<QWidget*>(nullptr), rc, drawingLock, style);
}

BOOL ViewWidget::Create(QWidget* parent, const RECT& rc, GLock* drawingLock, DWORD style) {
  if (!m_pTablet) {
    m_pTablet = new CTabletContext;
    m_pTablet->AddRef();
  }
  g_pTabletContext = m_pTablet;
  SetDrawingLock(drawingLock);
  SetDoubleClicks(true);
  if (GWindow::Create(parent, rc, style)) return TRUE;
  ReleaseTablet();
  return FALSE;
}

void ViewWidget::Destroy() {
  DestroyWindow();
  ReleaseTablet();
}

void ViewWidget::ReleaseTablet() {
  if (!m_pTablet) return;
  if (g_pTabletContext == m_pTablet) g_pTabletContext = nullptr;
  m_pTablet->Release();
  m_pTablet = nullptr;
}

void ViewWidget::OnTabletSample(float pressure, float xTiltDeg, float yTiltDeg, float rotationDeg) {
  if (m_pTablet) m_pTablet->OnPacket(pressure, xTiltDeg, yTiltDeg, rotationDeg);
}

}  // namespace gui
