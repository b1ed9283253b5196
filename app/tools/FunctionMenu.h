// The ring-menu provider every tool owns: the main frame's ring menu asks it for the icons
// of its twelve cells, the label of the hovered item and what to do with the chosen one.
#pragma once
#include "platform/base/Types.h"
#include "platform/gui/IconStrip.h"

namespace gui {
class DeviceContext;
}

// Items the ring passes: 0..11 the ring cells (clockwise from the top), and the four corner
// sectors.
constexpr UINT FLOWER_ITEM_COUNT = 12;
constexpr UINT FLOWER_SECTOR_TOPLEFT = 200;
constexpr UINT FLOWER_SECTOR_TOPRIGHT = 202;
constexpr UINT FLOWER_SECTOR_BOTTOMRIGHT = 204;
constexpr UINT FLOWER_SECTOR_BOTTOMLEFT = 206;

class CFunctionMenu {
 public:
  // The icons come from a strip of 12 cells in 3 rows (colour image, highlighted mask,
  // normal mask) of the bitmap resource; a missing strip leaves the menu without icons.
  explicit CFunctionMenu(UINT bitmapId);
  virtual ~CFunctionMenu();
  CFunctionMenu(const CFunctionMenu&) = delete;
  CFunctionMenu& operator=(const CFunctionMenu&) = delete;

  // Draws icon cell index with its top left at (x - 13, y - 13): the colour image ORed in,
  // then the highlighted or normal mask ANDed. Nothing for an index of 12 or more, without
  // a strip or without a device context.
  void Draw(gui::DeviceContext* dc, int x, int y, int index, BOOL highlighted);
  // The caption of an item; the empty text when state <= 0 or the item is not the tool's.
  virtual const char16_t* GetLabel(UINT item, int state);
  // Runs the chosen item; (x, y) is its screen point, popupTick when the menu was shown.
  virtual void Run(int x, int y, UINT item, DWORD popupTick);

  BOOL HasIcons() const { return m_pStrip != nullptr; }
  int GetCellWidth() const { return m_nCellWidth; }
  int GetCellHeight() const { return m_nCellHeight; }

 private:
  gui::CIconStrip* m_pStrip = nullptr;
  int m_nCellWidth = 0;
  int m_nCellHeight = 0;
};
