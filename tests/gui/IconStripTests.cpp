// Icon strips: cells cut from the bitmap, loading by resource number, and icons drawn by ORing
// one row in and ANDing a mask row, on hand-worked pixels.
#include <gtest/gtest.h>

#include "platform/gui/IconStrip.h"
#include "platform/gui/Resources.h"

namespace {

using gui::CIconStrip;

TEST(IconStrip, CellsDivideTheBitmap) {
  CIconStrip* strip = new CIconStrip;
  EXPECT_EQ(strip->AddRef(), 1);
  EXPECT_EQ(strip->GetDC(), nullptr);
  EXPECT_EQ(strip->GetCellWidth(), 0);
  EXPECT_FALSE(strip->LoadFromResource(987654, 5, 3));  // no such bitmap
  gui::RegisterBitmapResource(987655, [] { return gui::CreateCompatibleBitmap(170, 51); });
  ASSERT_TRUE(strip->LoadFromResource(987655, 10, 3));
  EXPECT_EQ(strip->GetCellWidth(), 17);
  EXPECT_EQ(strip->GetCellHeight(), 17);
  EXPECT_EQ(strip->GetColumns(), 10);
  EXPECT_EQ(strip->GetRows(), 3);
  ASSERT_NE(strip->GetDC(), nullptr);
  EXPECT_EQ(strip->GetDC()->GetImage()->Width(), 170);
  // A bitmap too small for its cells, or none, leaves the strip as it was.
  EXPECT_FALSE(strip->Attach(gui::CreateCompatibleBitmap(4, 4), 5, 1));
  EXPECT_FALSE(strip->Attach(nullptr, 1, 1));
  EXPECT_FALSE(strip->Attach(gui::CreateCompatibleBitmap(4, 4), 0, 1));
  EXPECT_EQ(strip->GetCellWidth(), 17);
  EXPECT_EQ(strip->GetDC()->GetImage()->Width(), 170);
  EXPECT_EQ(strip->AddRef(), 2);
  EXPECT_EQ(strip->Release(), 1);
  EXPECT_EQ(strip->Release(), 0);  // deleted (ASan would see a leak otherwise)
}

// Two columns by three rows of 2 x 2 cells; column 1 holds the icon under test.
TEST(IconStrip, IconsOrOneRowAndAndTheMask) {
  const uint32_t cells[3][4] = {
      {0x00FF00, 0x000000, 0xFFFFFF, 0x0000FF},  // row 0, ORed in
      {0xFFFFFF, 0x000000, 0x00FFFF, 0xFF00FF},  // row 1, the mask ANDed
      {0x000000, 0x000000, 0x000000, 0x000000},  // row 2, another mask
  };
  auto bitmap = gui::CreateCompatibleBitmap(4, 6);
  for (int row = 0; row < 3; ++row)
    for (int i = 0; i < 4; ++i) {
      bitmap->Bits()[(row * 2 + i / 2) * 4 + 2 + i % 2] = 0xFF000000u | cells[row][i];
      bitmap->Bits()[(row * 2 + i / 2) * 4 + i % 2] = 0xFF123456u;  // column 0
    }
  CIconStrip* strip = new CIconStrip;
  strip->AddRef();
  ASSERT_TRUE(strip->Attach(std::move(bitmap), 2, 3));
  gui::ScreenImage img;
  img.Resize(8, 5, 0x808080);
  gui::DeviceContext dc(&img);
  dc.SetViewportOrg(1, 0);
  strip->DrawIcon(dc, 2, 1, 1, 0, 1);
  // (0x808080 | or) & mask
  const uint32_t icon[4] = {0x80FF80, 0x000000, 0x00FFFF, 0x8000FF};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) {
      bool in = x >= 3 && x < 5 && y >= 1 && y < 3;
      uint32_t expect = in ? icon[(y - 1) * 2 + x - 3] : 0x808080;
      EXPECT_EQ(img.Pixel(x, y), 0xFF000000u | expect) << x << "," << y;
    }
  // The other mask row blacks the cell out; cells outside the strip draw nothing.
  strip->DrawIcon(dc, 2, 1, 1, 0, 2);
  EXPECT_EQ(img.Pixel(3, 1), 0xFF000000u);
  img.Fill(0x808080);
  strip->DrawCell(dc, 0, 0, 2, 0, gui::SRCCOPY);
  strip->DrawCell(dc, 0, 0, 0, 3, gui::SRCCOPY);
  strip->DrawCell(dc, 0, 0, -1, 0, gui::SRCCOPY);
  for (int i = 0; i < 8 * 5; ++i) EXPECT_EQ(img.Bits()[i], 0xFF808080u);
  strip->DrawCell(dc, 0, 0, 0, 2, gui::SRCCOPY);
  EXPECT_EQ(img.Pixel(1, 0), 0xFF123456u);
  EXPECT_EQ(img.Pixel(3, 0), 0xFF808080u);
  strip->Release();
}

}  // namespace
