// A window that logs the messages it gets, and waiting on the event loop, for the window
// layer's tests.
#pragma once
#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <initializer_list>
#include <vector>

#include "platform/gui/Window.h"

namespace guitest {

struct Msg {
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

class Recorder : public gui::GWindow {
 public:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    log.push_back(Msg{msg, wParam, lParam});
    if (onMessage) return onMessage(msg, wParam, lParam);
    return DefWindowProc(msg, wParam, lParam);
  }
  // The logged messages of the given kinds, in order.
  std::vector<Msg> Of(std::initializer_list<UINT> kinds) const {
    std::vector<Msg> out;
    for (const Msg& m : log)
      for (UINT k : kinds)
        if (m.msg == k) out.push_back(m);
    return out;
  }
  std::vector<Msg> log;
  std::function<LRESULT(UINT, WPARAM, LPARAM)> onMessage;
};

// Runs the event loop until done() or ms have passed; false on the timeout.
inline bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

}  // namespace guitest
