// A strip of icons: one bitmap in a memory device context, cut into equal cells of columns
// x rows. The program draws an icon by ORing the cell of one row in and ANDing the cell of a
// mask row. No Qt in here.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "Dc.h"
#include "platform/base/Types.h"

namespace gui {

// Reference-counted as the system's objects: the count starts at 0, each holder AddRefs it
// (GCompRef does) and the last Release deletes it, so a strip is made with new and never
// deleted directly.
class CIconStrip {
 public:
  CIconStrip();
  CIconStrip(const CIconStrip&) = delete;
  CIconStrip& operator=(const CIconStrip&) = delete;
  int32_t AddRef();
  int32_t Release();

  // Takes the bitmap resource of that number (Resources.h); FALSE when there is none or the
  // cells would be empty (the strip stays as it was).
  BOOL LoadFromResource(UINT bitmapId, int columns, int rows);
  // Takes the bitmap; FALSE as above.
  BOOL Attach(std::unique_ptr<ScreenImage> bitmap, int columns, int rows);

  // Cell size: the bitmap's size divided by the columns and the rows (0 before loading).
  int GetCellWidth() const { return m_cellWidth; }
  int GetCellHeight() const { return m_cellHeight; }
  int GetColumns() const { return m_columns; }
  int GetRows() const { return m_rows; }
  // The memory DC with the bitmap selected; null before loading.
  DeviceContext* GetDC() { return m_bitmap ? &m_dc : nullptr; }

  // BitBlt of cell (column, row) to (x, y) of dc with rop; nothing for a cell outside.
  void DrawCell(DeviceContext& dc, int x, int y, int column, int row, DWORD rop) const;
  // The icon of a column: the cell of orRow with SRCPAINT, then the cell of andRow with SRCAND.
  void DrawIcon(DeviceContext& dc, int x, int y, int column, int orRow, int andRow) const;

 protected:
  ~CIconStrip();

 private:
  std::atomic<int32_t> m_refs{0};
  std::unique_ptr<ScreenImage> m_bitmap;
  DeviceContext m_dc;
  int m_columns = 0;
  int m_rows = 0;
  int m_cellWidth = 0;
  int m_cellHeight = 0;
};

}  // namespace gui
