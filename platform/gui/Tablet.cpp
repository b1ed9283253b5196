#include "Tablet.h"

#include <algorithm>
#include <cmath>

CTabletContext* g_pTabletContext = nullptr;

int32_t CTabletContext::Release() {
  int32_t n = --m_nRef;
  if (n == 0) {
    if (g_pTabletContext == this) g_pTabletContext = nullptr;
    delete this;
  }
  return n;
}

void CTabletContext::OnPacket(float pressure, float xTiltDeg, float yTiltDeg, float twistDeg) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kRad = kPi / 180;
  double xt = std::clamp(double(xTiltDeg), -89.0, 89.0) * kRad;
  double yt = std::clamp(double(yTiltDeg), -89.0, 89.0) * kRad;
  // The pen's top leans along (tan xt, tan yt) on the tablet, y pointing down the screen.
  double tx = std::tan(xt), ty = std::tan(yt);
  double lean = std::hypot(tx, ty);
  double azimuth = lean > 0 ? std::atan2(tx, -ty) : 0.0;
  if (azimuth < 0) azimuth += 2 * kPi;
  m_sample.fPressure = std::clamp(pressure * m_fPressureFactor, 0.0f, 1.0f);
  m_sample.fAzimuth = float(azimuth);
  m_sample.fAltitude = float(std::atan2(1.0, lean));
  m_sample.fTwist = float(double(twistDeg) * kRad);
  m_nMovesSincePacket = 0;
  m_bAvailable = TRUE;
}

void PenTilt(const PenSample& pen, float* xTilt, float* yTilt) {
  constexpr float kHalfPi = 1.5707964f, kFullLean = 1.0471976f;  // 60 degrees
  const float lean = std::clamp((kHalfPi - pen.fAltitude) / kFullLean, 0.0f, 1.0f);
  // The azimuth turns clockwise from the top of the screen, towards +x.
  *xTilt = lean * std::sin(pen.fAzimuth);
  *yTilt = -lean * std::cos(pen.fAzimuth);
}
