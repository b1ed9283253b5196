#include "Messages.h"

#include <atomic>

namespace plat {

static std::atomic<MessagePoster> g_poster{nullptr};

void SetMessagePoster(MessagePoster poster) { g_poster.store(poster); }

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  MessagePoster poster = g_poster.load();
  return poster ? poster(hwnd, msg, wParam, lParam) : FALSE;
}

}  // namespace plat
