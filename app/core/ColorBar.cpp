#include "ColorBar.h"

#include <algorithm>
#include <cstring>

#include "FileRefusal.h"
#include "odata/GError.h"
#include "odata/LittleEndian.h"

namespace {

constexpr COLORREF kRgbMask = 0x00FFFFFF;

// A new bar offers a spread of plain colours, all different.
constexpr COLORREF kDefaultRecent[COLORBAR_RECENT] = {
    0x000000, 0xFFFFFF, 0x808080, 0xC0C0C0, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x008080, 0x800080, 0xFF8000, 0x8000FF, 0x404040};

}  // namespace

uint32_t ColorBarSection::Sum() const {
  uint32_t sum = dwVersion + dwSize + current;
  for (uint32_t c : recent) sum += c;
  return sum;
}

void ColorBarSection::Store(BYTE out[kBytes]) const {
  std::memset(out, 0, kBytes);
  PutLE32(out, dwCheck);
  PutLE32(out + 4, dwVersion);
  PutLE32(out + 8, dwSize);
  PutLE32(out + 12, current);
  for (int i = 0; i < COLORBAR_RECENT; ++i) PutLE32(out + 16 + 4 * i, recent[i]);
}

ColorBarSection ColorBarSection::Parse(const BYTE in[kBytes]) {
  ColorBarSection s{};
  s.dwCheck = GetLE32(in);
  s.dwVersion = GetLE32(in + 4);
  s.dwSize = GetLE32(in + 8);
  s.current = GetLE32(in + 12);
  for (int i = 0; i < COLORBAR_RECENT; ++i) s.recent[i] = GetLE32(in + 16 + 4 * i);
  return s;
}

bool ColorBarSection::IsValid() const {
  if (dwCheck != Sum() || (dwVersion >> 16) != (kVersion >> 16) || dwSize != kBytes) return false;
  if (current & ~kRgbMask) return false;
  for (int i = 0; i < COLORBAR_RECENT; ++i) {
    if (recent[i] & ~kRgbMask) return false;
    for (int j = 0; j < i; ++j)
      if (recent[i] == recent[j]) return false;
  }
  return true;
}

CColorBar::CColorBar() { std::copy(std::begin(kDefaultRecent), std::end(kDefaultRecent), m_recent); }

void CColorBar::Changed() {
  if (m_pObserver) m_pObserver->OnColorsChanged();
}

COLORREF CColorBar::GetColor(int index) const {
  if (index == 0) return m_current;
  if (index >= 1 && index <= COLORBAR_RECENT) return m_recent[index - 1];
  return NO_COLOR;
}

void CColorBar::SetColor(COLORREF color) {
  m_current = color & kRgbMask;
  Changed();
}

void CColorBar::PushColor(HSVCOLOR color) {
  color = NormalizeHsv(color);
  Push(HsvToRgb(color), color);
}

void CColorBar::PushRgb(COLORREF color) { Push(color & kRgbMask, RgbToHsv(color & kRgbMask)); }

void CColorBar::Push(COLORREF color, HSVCOLOR hsv) {
  COLORREF* end = m_recent + COLORBAR_RECENT;
  COLORREF* at = std::find(m_recent, end, color);
  // The colour's old place, or the oldest slot, is taken by the colours in front of it.
  if (at == end) --at;
  std::copy_backward(m_recent, at, at + 1);
  m_recent[0] = color;
  m_current = color;
  m_currentHsv = hsv;
  Changed();
}

HSVCOLOR CColorBar::GetCurrentHsv() const {
  return HsvToRgb(m_currentHsv) == m_current ? m_currentHsv : RgbToHsv(m_current);
}

ColorBarSection CColorBar::MakeSection() const {
  ColorBarSection s{};
  s.dwVersion = ColorBarSection::kVersion;
  s.dwSize = ColorBarSection::kBytes;
  s.current = m_current;
  std::copy(m_recent, m_recent + COLORBAR_RECENT, s.recent);
  s.dwCheck = s.Sum();
  return s;
}

BOOL CColorBar::XFileSave::Begin(UINT* /*progressTotal*/) {
  m_pBar->MakeSection().Store(m_abSection);
  return TRUE;
}

BOOL CColorBar::XFileSave::Save(OFileOut* file, uint64_t* pBytes, JobControl* /*control*/) {
  if (!file || file->Write(m_abSection, sizeof m_abSection, 1) != 1) return FALSE;
  if (pBytes) *pBytes += sizeof m_abSection;
  return TRUE;
}

BOOL CColorBar::XFileSave::End() { return TRUE; }

BOOL CColorBar::XFileLoad::Begin() {
  m_bRead = false;
  return TRUE;
}

BOOL CColorBar::XFileLoad::Load(OFileIn* file, uint64_t* pBytes, JobControl* /*control*/) {
  try {
    GCHECK(!m_bRead);
    BYTE raw[ColorBarSection::kBytes];
    // A section missing or cut short, or one whose size, version or check is wrong.
    if (!file || file->Read(raw, sizeof raw, 1) != 1 || !ColorBarSection::Parse(raw).IsValid()) {
      file_refusal::Note(file_refusal::Damaged(u"颜色区"));
      return FALSE;
    }
    const ColorBarSection s = ColorBarSection::Parse(raw);
    m_section = s;
    m_bRead = true;
    if (pBytes) *pBytes += sizeof raw;
    return TRUE;
  }
  GCATCH(u"CColorBar::XFileLoad", u"::Load()")
}

BOOL CColorBar::XFileLoad::End(BOOL bFailed) {
  if (!bFailed && m_bRead) {
    m_pBar->m_current = m_section.current;
    std::copy(m_section.recent, m_section.recent + COLORBAR_RECENT, m_pBar->m_recent);
    m_pBar->Changed();
  }
  // Told that all went well without a section read: the container's order was broken.
  const BOOL ok = bFailed || m_bRead ? TRUE : FALSE;
  m_bRead = false;
  return ok;
}
