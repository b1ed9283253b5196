#include "tools/FunctionMenu.h"

namespace {
constexpr int kIconCount = int(FLOWER_ITEM_COUNT);
constexpr int kRows = 3;
}  // namespace

CFunctionMenu::CFunctionMenu(UINT bitmapId) {
  auto* strip = new gui::CIconStrip();
  strip->AddRef();
  if (strip->LoadFromResource(bitmapId, kIconCount, kRows)) {
    m_pStrip = strip;
    m_nCellWidth = strip->GetCellWidth();
    m_nCellHeight = strip->GetCellHeight();
  } else {
    strip->Release();
  }
}

CFunctionMenu::~CFunctionMenu() {
  if (m_pStrip) m_pStrip->Release();
}

void CFunctionMenu::Draw(gui::DeviceContext* dc, int x, int y, int index, BOOL highlighted) {
  if (index < 0 || index >= kIconCount || !m_pStrip || !dc) return;
  m_pStrip->DrawIcon(*dc, x - 13, y - 13, index, 0, highlighted ? 1 : 2);
}

const char16_t* CFunctionMenu::GetLabel(UINT, int) { return u""; }

void CFunctionMenu::Run(int, int, UINT, DWORD) {}
