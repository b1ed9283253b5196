#include "IconStrip.h"

#include "Resources.h"

namespace gui {

CIconStrip::CIconStrip() = default;

CIconStrip::~CIconStrip() = default;

int32_t CIconStrip::AddRef() { return ++m_refs; }

int32_t CIconStrip::Release() {
  int32_t left = --m_refs;
  if (left == 0) delete this;
  return left;
}

BOOL CIconStrip::LoadFromResource(UINT bitmapId, int columns, int rows) {
  return Attach(LoadBitmapResource(bitmapId), columns, rows);
}

BOOL CIconStrip::Attach(std::unique_ptr<ScreenImage> bitmap, int columns, int rows) {
  if (!bitmap || columns <= 0 || rows <= 0) return FALSE;
  int cellWidth = bitmap->Width() / columns, cellHeight = bitmap->Height() / rows;
  if (cellWidth <= 0 || cellHeight <= 0) return FALSE;
  m_dc.SelectBitmap(bitmap.get());
  m_bitmap = std::move(bitmap);
  m_columns = columns;
  m_rows = rows;
  m_cellWidth = cellWidth;
  m_cellHeight = cellHeight;
  return TRUE;
}

void CIconStrip::DrawCell(DeviceContext& dc, int x, int y, int column, int row, DWORD rop) const {
  if (!m_bitmap || column < 0 || column >= m_columns || row < 0 || row >= m_rows) return;
  dc.BitBlt(x, y, m_cellWidth, m_cellHeight, m_dc, column * m_cellWidth, row * m_cellHeight, rop);
}

void CIconStrip::DrawIcon(DeviceContext& dc, int x, int y, int column, int orRow, int andRow) const {
  DrawCell(dc, x, y, column, orRow, SRCPAINT);
  DrawCell(dc, x, y, column, andRow, SRCAND);
}

}  // namespace gui
