#include "ErrorHook.h"

#include <exception>
#include <mutex>

#include "platform/base/Text.h"

namespace gui {

namespace {

std::mutex g_handlerMutex;
ErrorHandler g_handler;

}  // namespace

void SetErrorHandler(ErrorHandler handler) {
  std::lock_guard<std::mutex> lock(g_handlerMutex);
  g_handler = std::move(handler);
}

void ReportError(GError* error) {
  if (!error) return;
  ErrorHandler handler;
  {
    std::lock_guard<std::mutex> lock(g_handlerMutex);
    handler = g_handler;
  }
  error->AddRef();
  if (handler) {
    try {
      handler(error);
    } catch (...) {
      // A failing error report has nowhere further to go.
    }
  }
  error->Release();
}

void ReportCurrentException() {
  try {
    throw;
  } catch (GError* e) {
    ReportError(e);
  } catch (OBeing* b) {
    if (b) {
      b->AddRef();
      b->Release();
    }
    ReportError(new GErrRecord(u"UNKNOWN EXCEPTION", u"", 0, ERR_KIND_CHECK));
  } catch (const std::exception& ex) {
    ReportError(new GErrRecord(plat::FromUtf8(ex.what()).c_str(), u"", 0, ERR_KIND_CHECK));
  } catch (...) {
    ReportError(new GErrRecord(u"UNKNOWN EXCEPTION", u"", 0, ERR_KIND_CHECK));
  }
}

}  // namespace gui
