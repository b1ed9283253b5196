// The tablet context: the pen's latest sample, which the view fills from tablet events and the
// paint tool reads for pressure. UI thread.
#pragma once
#include <cstdint>

#include "platform/base/Types.h"

// One pen sample: pressure 0..1 (after the pressure factor), azimuth in radians clockwise from
// the top of the screen (0..2pi), altitude in radians above the tablet (pi/2 upright), and the
// pen's twist in radians.
struct PenSample {
  float fPressure;
  float fAzimuth;
  float fAltitude;
  float fTwist;
};
static_assert(sizeof(PenSample) == 16);

// The pen's lean as tablets report it to brush engines: towards +x and +y of the screen,
// -1..1 with 1 at 60 degrees from upright; 0 and 0 for an upright pen.
void PenTilt(const PenSample& pen, float* xTilt, float* yTilt);

class CTabletContext {
 public:
  CTabletContext() = default;
  CTabletContext(const CTabletContext&) = delete;
  CTabletContext& operator=(const CTabletContext&) = delete;
  int32_t AddRef() { return ++m_nRef; }
  // Deletes the context at the last reference.
  int32_t Release();

  // A pen packet: pressure 0..1 as the tablet reports it, tilt towards +x and +y in degrees
  // (-90..90), twist in degrees. Resets the count of mouse moves since the last packet and
  // marks tablet input available.
  void OnPacket(float pressure, float xTiltDeg, float yTiltDeg, float twistDeg);

  PenSample m_sample{1.0f, 0.0f, 1.5707964f, 0.0f};
  // Mouse moves since the last packet (the paint tool counts them).
  int m_nMovesSincePacket = 0;
  // TRUE once a pen came near the tablet or sent a packet.
  BOOL m_bAvailable = FALSE;
  // Multiplies the packet pressure (the paint tool sets it from the pressure setting).
  float m_fPressureFactor = 1.0f;

 private:
  int32_t m_nRef = 0;
};

// The view's tablet context, null while there is no view.
extern CTabletContext* g_pTabletContext;
