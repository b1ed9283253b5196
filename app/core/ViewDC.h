// The view's device context for the length of a scope: tool feedback and the layer frame
// draw through it. It holds the paint space's drawing lock until the scope ends.
#pragma once
#include "core/PaintSpaceHost.h"
#include "platform/gui/Dc.h"

class CViewDC {
 public:
  // host null or without a screen image: no context (Get() is null).
  explicit CViewDC(IPaintSpaceHost* host) : m_pHost(host), m_pDC(host ? host->GetViewDC() : nullptr) {}
  ~CViewDC() {
    if (m_pDC) m_pHost->ReleaseViewDC(m_pDC);
  }
  CViewDC(const CViewDC&) = delete;
  CViewDC& operator=(const CViewDC&) = delete;

  gui::DeviceContext* Get() const { return m_pDC; }
  gui::DeviceContext* operator->() const { return m_pDC; }
  explicit operator bool() const { return m_pDC != nullptr; }

 private:
  IPaintSpaceHost* m_pHost;
  gui::DeviceContext* m_pDC;
};

// The view's screen image to present into for the length of a scope: the given one, else the
// view's own (taken from the host and given back at the end).
class DcScope {
 public:
  DcScope(IPaintSpaceHost* host, HDC dc) : m_host(host), m_dc(dc) {
    if (!m_dc && m_host) {
      m_dc = m_host->GetDC();
      m_taken = true;
    }
  }
  ~DcScope() {
    if (m_taken && m_dc) m_host->ReleaseDC(m_dc);
  }
  DcScope(const DcScope&) = delete;
  DcScope& operator=(const DcScope&) = delete;
  HDC Get() const { return m_dc; }

 private:
  IPaintSpaceHost* m_host;
  HDC m_dc;
  bool m_taken = false;
};
