// The colour bar's data: the current colour and the recent colours (0x00RRGGBB), and its
// section of the document file, the document's third unit. The colour bar window shows
// this model; the paint space and the tools read colours from it by slot.
#pragma once
#include <cstdint>

#include "Hsv.h"
#include "MyFile.h"
#include "platform/base/Types.h"

constexpr int COLORBAR_RECENT = 19;

struct IColorBarObserver {
  virtual ~IColorBarObserver() = default;
  // The current colour or the recent ones changed (also after a document was loaded).
  virtual void OnColorsChanged() {}
};

// The section: 96 bytes of little-endian 32-bit words.
//   0 dwCheck    the wrapping sum of every other word but the reserved one
//   4 dwVersion  0x00010000; read when its upper 16 bits are 1
//   8 dwSize     96
//  12 current colour, then the 19 recent colours from the newest, each 0x00RRGGBB
//  92 reserved, written 0, not examined
struct ColorBarSection {
  static constexpr uint32_t kVersion = 0x00010000;
  static constexpr size_t kBytes = 96;
  uint32_t dwCheck;
  uint32_t dwVersion;
  uint32_t dwSize;
  uint32_t current;
  uint32_t recent[COLORBAR_RECENT];
  uint32_t Sum() const;
  void Store(BYTE out[kBytes]) const;
  static ColorBarSection Parse(const BYTE in[kBytes]);
  // Whether a parsed section may be taken: check word, version, size, colours in
  // 0x00RRGGBB and no recent colour twice.
  bool IsValid() const;
};

class CColorBar {
 public:
  static constexpr COLORREF NO_COLOR = 0xFFFFFFFF;

  CColorBar();
  CColorBar(const CColorBar&) = delete;
  CColorBar& operator=(const CColorBar&) = delete;
  static const char16_t* GetClassName() { return u"CColorBar"; }
  void SetObserver(IColorBarObserver* observer) { m_pObserver = observer; }

  // Slot 0 is the current colour, 1..19 the recent colours from the newest; NO_COLOR for
  // any other slot.
  COLORREF GetColor(int index) const;
  // Replaces the current colour; the recent ones stay as they are.
  void SetColor(COLORREF color);
  // Makes the colour current and puts it first among the recent ones: one already there
  // moves up, else the oldest drops out. The list never holds a colour twice. The bar keeps
  // the hue and saturation it was given, which a grey or black would otherwise lose.
  void PushColor(HSVCOLOR color);
  // The same for a 0x00RRGGBB colour, taken exactly.
  void PushRgb(COLORREF color);
  // The current colour as the wheel and the picker show it: as last pushed while it is
  // still current, else converted from its RGB.
  HSVCOLOR GetCurrentHsv() const;

  OFileSave* GetFileSave() { return &m_xFileSave; }
  OFileLoad* GetFileLoad() { return &m_xFileLoad; }

 private:
  // The section is taken when saving begins (Save runs on the worker) and applied only by
  // End of a load that succeeded.
  class XFileSave final : public OFileSave {
   public:
    explicit XFileSave(CColorBar* bar) : m_pBar(bar) {}
    BOOL Begin(UINT* progressTotal) override;
    BOOL Save(OFileOut* file, uint64_t* pBytes, JobControl* control) override;
    BOOL End() override;

   private:
    CColorBar* m_pBar;
    BYTE m_abSection[ColorBarSection::kBytes] = {};
  };
  class XFileLoad final : public OFileLoad {
   public:
    explicit XFileLoad(CColorBar* bar) : m_pBar(bar) {}
    BOOL Begin() override;
    BOOL Load(OFileIn* file, uint64_t* pBytes, JobControl* control) override;
    BOOL End(BOOL bFailed) override;

   private:
    CColorBar* m_pBar;
    ColorBarSection m_section{};
    bool m_bRead = false;
  };

  ColorBarSection MakeSection() const;
  void Changed();
  void Push(COLORREF color, HSVCOLOR hsv);

  COLORREF m_current = 0;
  HSVCOLOR m_currentHsv = 0;
  COLORREF m_recent[COLORBAR_RECENT];
  IColorBarObserver* m_pObserver = nullptr;
  XFileSave m_xFileSave{this};
  XFileLoad m_xFileLoad{this};
};
