// The program's resources by number: every bitmap at its size, every toolbar with one image
// cell per button, the string table's texts, the cursors; the icon strips drawn with the raster
// operations their panels and the ring menu use, on light and dark backgrounds; start-up
// registers them all. A contact sheet of the artwork goes to the build folder
// (resource_sheet.png) for a human to look at.
#include <QPainter>
#include <algorithm>
#include <map>
#include <set>

#include "AppHarness.h"
#include "core/StringTable.h"
#include "frame/Resource.h"
#include "frame/ResourceArt.h"
#include "frame/ResourceCursors.h"
#include "frame/ResourceIds.h"
#include "platform/gui/Resources.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF, kDark = 0x202428;

class ResourceTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterProgramStrings();
    RegisterProgramResources();
  }
  static std::unique_ptr<gui::ScreenImage> Load(UINT id) {
    auto image = gui::LoadBitmapResource(id);
    EXPECT_TRUE(image) << "bitmap " << id;
    return image;
  }
};

uint32_t Rgb(const gui::ScreenImage& image, int x, int y) { return image.Pixel(x, y) & 0xFFFFFF; }
// What the screen shows after OR-ing `first` and then AND-ing `second` onto bg.
uint32_t OrAnd(uint32_t bg, uint32_t first, uint32_t second) { return (bg | first) & second & 0xFFFFFF; }
int Distance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift : {0, 8, 16}) d = std::max(d, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
  return d;
}

const UINT kRingStrips[] = {IDB_RING_PAINT, IDB_RING_POLYGON, IDB_RING_FLOOD,  IDB_RING_SHAPE, IDB_RING_CROP,
                            IDB_RING_DISTORT, IDB_RING_LASSO, IDB_RING_MOVE, IDB_RING_NEW};

TEST_F(ResourceTest, BitmapsHaveTheirSizes) {
  struct Case {
    UINT id;
    int width, height;
  };
  std::vector<Case> cases = {{IDB_PROPERTYLIST, 170, 51}, {IDB_LAYERLIST, 80, 60}, {IDB_BRUSHLIST, 64, 54},
                             {IDB_MAINBAR, 100, 18},      {IDB_MAINBAR_HOT, 100, 18}, {IDB_MAINBAR_DISABLED, 100, 18}};
  for (UINT ring : kRingStrips) cases.push_back({ring, 12 * RING_CELL, 3 * RING_CELL});
  for (const Case& c : cases) {
    auto image = Load(c.id);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Width(), c.width) << c.id;
    EXPECT_EQ(image->Height(), c.height) << c.id;
    // Strips and lists are opaque: the raster operations and the colour key see every pixel.
    for (int y = 0; y < image->Height(); ++y)
      for (int x = 0; x < image->Width(); ++x) ASSERT_EQ(image->Pixel(x, y) >> 24, 0xFFu) << c.id;
  }
  auto splash = Load(IDB_SPLASH);
  ASSERT_TRUE(splash);
  EXPECT_GE(splash->Width(), 200);
  EXPECT_FALSE(gui::LoadBitmapResource(1));
}

TEST_F(ResourceTest, ToolBarsHaveOneImageCellPerButton) {
  // The layouts the tools and the main frame rely on, in their order; the others are only
  // required to exist.
  const std::map<UINT, std::vector<UINT>> fixed = {
      {IDR_OPERATION,
       {ID_OPER_MOVE, ID_OPER_NEW, ID_OPER_CROP, ID_OPER_LASSO, ID_OPER_PAINT, ID_OPER_SUCKER, ID_OPER_POLYGON,
        ID_OPER_SHAPE, ID_OPER_FLOOD, ID_OPER_DISTORT}},
      {IDR_OPT_PAINT, {32827, 32853}},          {IDR_OPT_CROP, {32826}},        {IDR_OPT_DISTORT, {32813, 32814, 32815}},
      {IDR_OPT_MOVE, {32823, 32824}},           {IDR_OPT_NEW, {32825}},         {IDR_OPT_FLOOD, {32844}},
      {IDR_OPT_LASSO, {32819, 32855}},          {IDR_OPT_SHAPE, {32840}},
  };
  for (UINT id : {IDR_MAINFRAME, IDR_OPERATION, IDR_VIEW, IDR_LAYERSTRIP, IDR_BRUSHSTRIP, IDR_OPT_DISTORT,
                  IDR_OPT_LASSO, IDR_OPT_MOVE, IDR_OPT_NEW, IDR_OPT_CROP, IDR_OPT_PAINT, IDR_OPT_SHAPE, IDR_OPT_FLOOD}) {
    const gui::ToolBarResource* bar = gui::FindToolBarResource(id);
    ASSERT_TRUE(bar) << id;
    if (auto it = fixed.find(id); it != fixed.end()) {
      EXPECT_EQ(bar->commands, it->second) << id;
    }
    const int buttons = int(std::count_if(bar->commands.begin(), bar->commands.end(), [](UINT c) { return c != 0; }));
    ASSERT_GT(buttons, 0) << id;
    EXPECT_EQ(bar->nButtonWidth, 20);
    EXPECT_EQ(bar->nButtonHeight, 18);
    auto image = Load(bar->nBitmapId);
    ASSERT_TRUE(image);
    EXPECT_TRUE(image->KeepsAlpha());
    ASSERT_EQ(image->Width(), buttons * bar->nButtonWidth) << id;
    ASSERT_EQ(image->Height(), bar->nButtonHeight) << id;
    // Each cell: an icon in it, transparent at its corners.
    for (int b = 0; b < buttons; ++b) {
      int opaque = 0;
      for (int y = 0; y < image->Height(); ++y)
        for (int x = 0; x < bar->nButtonWidth; ++x) opaque += (image->Pixel(b * bar->nButtonWidth + x, y) >> 24) >= 0xC0;
      EXPECT_GT(opaque, 12) << "toolbar " << id << " button " << b;
      EXPECT_EQ(image->Pixel(b * bar->nButtonWidth, 0) >> 24, 0u) << "toolbar " << id << " button " << b;
    }
  }
}

TEST_F(ResourceTest, StringsLoadAndCommandsHavePromptAndTip) {
  // Texts as the program must show them.
  const std::map<UINT, std::u16string> exact = {
      {131, u"便携透明图像 (*.png)|*.png|摄影图像 (*.jpg)|*.jpg|Windows位图 (*.bmp)|*.bmp||"},
      {137, u"预选：空心表示浮动选择，实心表示固定选择\n预选"},
      {138, u"笔设：画笔预备设置\n笔设"},
      {139, u"嵌套：嵌入下方彩色图层\n嵌套"},
      {140, u"颜色：图层颜色类型\n颜色"},
      {141, u"要编辑名称，按键时间稍长"},
      {142, u"隐藏该图层\n不可见"},
      {143, u"防止涂改，保护图像内容\n保护"},
      {144, u"某些操作需要引用一个参考源\n源"},
      {32771, u"移动图层\n移动"},
      {32775, u"自由贴图，该功能需要在图层栏指定一个源\n自由贴图"},
      {32843, u"吸管取色，仅为旧的操作习惯\n吸管"},
      {32814, u"显示反面 \n显示反面"},
      {32824, u"在当前图层范围内，不选其它图层\n不选图层"},
      {32844, u"自动分层管理：不用关心图层的选择与创建，仅选择颜色即可\n自动分层"},
      {32847, u"图层格式转换\n格式转换"},
      {32848, u"水平翻转"},
      {32852, u"能见度为100时清空图像，能见度小于100时淡化图像\n清空/淡化图像"},
  };
  for (const auto& [id, text] : exact) EXPECT_EQ(gui::LoadStringResource(id), text) << id;
  EXPECT_EQ(gui::StringResourcePart(32773, 1), u"修剪");
  EXPECT_EQ(gui::StringResourcePart(32848, 0), u"水平翻转");

  // Every command of every toolbar and of the panels' and tools' tables has a prompt and a
  // tip; only the Layer menu's flips, rotate and scale are quoted as one text for both.
  std::set<UINT> commands = {32792, 32795, 32796, 32797, 32798, 57634, 57635, 57637, 32799, 32800, 32812,
                             32847, 32848, 32849, 32850, 32851, 32852, 32827, 32853, 32854};
  for (UINT bar : {IDR_MAINFRAME, IDR_OPERATION, IDR_VIEW, IDR_LAYERSTRIP, IDR_BRUSHSTRIP, IDR_OPT_DISTORT,
                   IDR_OPT_LASSO, IDR_OPT_MOVE, IDR_OPT_NEW, IDR_OPT_CROP, IDR_OPT_PAINT, IDR_OPT_SHAPE, IDR_OPT_FLOOD})
    for (UINT id : gui::FindToolBarResource(bar)->commands)
      if (id) commands.insert(id);
  const std::set<UINT> oneText = {32848, 32849, 32850, 32851};
  for (UINT id : commands) {
    const std::u16string text = gui::LoadStringResource(id);
    ASSERT_FALSE(text.empty()) << id;
    const size_t lf = text.find(u'\n');
    if (oneText.count(id)) {
      EXPECT_EQ(lf, std::u16string::npos) << id;
      continue;
    }
    ASSERT_NE(lf, std::u16string::npos) << id;
    EXPECT_GT(lf, 0u) << id;
    EXPECT_LT(lf + 1, text.size()) << id;
    EXPECT_EQ(text.find(u'\n', lf + 1), std::u16string::npos) << id;
  }
}

TEST_F(ResourceTest, CursorsLoadWithHotSpotsOnTheirPicture) {
  std::vector<UINT> ids = {139, 152, 153, 158, 169, 182, 185, 187, 215, 222, 223, 224, 225};
  for (const auto& state : IDC_PAINT) ids.insert(ids.end(), std::begin(state), std::end(state));
  std::set<std::vector<uint32_t>> pictures;
  for (UINT id : ids) {
    EXPECT_TRUE(gui::LoadCursorResource(id)) << id;
    const art::CursorArt cursor = art::MakeCursorArt(id);
    ASSERT_EQ(cursor.pixels.size(), 32u * 32u) << id;
    ASSERT_TRUE(cursor.hotX >= 0 && cursor.hotX < 32 && cursor.hotY >= 0 && cursor.hotY < 32) << id;
    // The hot spot is where the picture points: something solid within a pixel of it.
    bool solid = false;
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        const int x = cursor.hotX + dx, y = cursor.hotY + dy;
        if (x >= 0 && y >= 0 && x < 32 && y < 32) solid |= (cursor.pixels[size_t(y * 32 + x)] >> 24) >= 0xC0;
      }
    EXPECT_TRUE(solid) << id;
    // And the picture leaves most of the square to the screen.
    const auto clear = std::count_if(cursor.pixels.begin(), cursor.pixels.end(), [](uint32_t p) { return (p >> 24) == 0; });
    EXPECT_GT(clear, 32 * 32 / 3) << id;
    pictures.insert(cursor.pixels);
  }
  // No two cursors look alike (every state and brush kind of the paint tool is told apart).
  EXPECT_EQ(pictures.size(), ids.size());
  EXPECT_FALSE(gui::LoadCursorResource(1));
}

// The panels draw a cell by OR-ing row 0 and AND-ing a picture row.
struct PanelCase {
  UINT id;
  int columns;
  std::vector<std::pair<int, int>> shown;  // (column, picture row) that must show an icon
  std::set<int> narrow;                    // columns that sit in 12-pixel list columns
};

TEST_F(ResourceTest, PanelStripsShowTheirIconsAndLeaveTheRowElsewhere) {
  const PanelCase cases[] = {
      {IDB_LAYERLIST, 5, {{0, 1}, {1, 1}, {1, 2}, {2, 1}, {3, 1}, {4, 1}}, {0, 4}},
      {IDB_BRUSHLIST, 4, {{0, 1}, {2, 1}, {2, 2}}, {0, 1, 2, 3}},
      {IDB_PROPERTYLIST, 10, {{0, 1}, {1, 1}, {2, 1}}, {}},
  };
  for (const PanelCase& c : cases) {
    auto strip = Load(c.id);
    ASSERT_TRUE(strip);
    const int cw = strip->Width() / c.columns, ch = strip->Height() / 3;
    for (int col = 0; col < c.columns; ++col) {
      for (int row = 1; row <= 2; ++row) {
        int shows = 0;
        for (int y = 0; y < ch; ++y) {
          for (int x = 0; x < cw; ++x) {
            const uint32_t mask = Rgb(*strip, col * cw + x, y), picture = Rgb(*strip, col * cw + x, row * ch + y);
            ASSERT_TRUE(mask == 0 || mask == 0xFFFFFF) << c.id << " column " << col;
            if (mask == 0) {
              // Outside the icon the row stays as it is, light or dark.
              for (uint32_t bg : {kWhite, kDark, LIST_ROW_FACE})
                ASSERT_EQ(OrAnd(bg, mask, picture), bg) << c.id << " column " << col << " at " << x << "," << y;
            } else {
              ASSERT_EQ(OrAnd(kDark, mask, picture), OrAnd(kWhite, mask, picture));
              if (c.narrow.count(col)) {
                ASSERT_LT(x, 11) << c.id << " column " << col << " leaves its list column";
              }
              shows += Distance(OrAnd(LIST_ROW_FACE, mask, picture), LIST_ROW_FACE) > 48;
            }
          }
        }
        const bool wanted = std::find(c.shown.begin(), c.shown.end(), std::make_pair(col, row)) != c.shown.end();
        if (wanted) {
          EXPECT_GE(shows, 8) << c.id << " column " << col << " row " << row;
        }
      }
    }
  }
}

// The ring draws a cell by OR-ing row 0 and AND-ing row 1 (highlighted) or row 2 (normal).
TEST_F(ResourceTest, RingStripsShowTheToolsItemsAndLeaveTheRingElsewhere) {
  // The ring items with a cell (0-11) that each tool answers.
  const std::map<UINT, std::set<int>> items = {
      {IDB_RING_PAINT, {3, 4, 7, 8, 9, 10, 11}}, {IDB_RING_POLYGON, {3, 4, 9}}, {IDB_RING_FLOOD, {3, 4, 9}},
      {IDB_RING_SHAPE, {3, 4, 9}},               {IDB_RING_CROP, {4, 9}},       {IDB_RING_LASSO, {4, 9}},
      {IDB_RING_DISTORT, {9}},                   {IDB_RING_MOVE, {9}},          {IDB_RING_NEW, {9}},
  };
  for (const auto& [id, cells] : items) {
    auto strip = Load(id);
    ASSERT_TRUE(strip);
    for (int cell = 0; cell < RING_CELLS; ++cell) {
      int icon = 0, highlight = 0;
      for (int y = 0; y < RING_CELL; ++y) {
        for (int x = 0; x < RING_CELL; ++x) {
          const int px = cell * RING_CELL + x;
          const uint32_t image = Rgb(*strip, px, y), lit = Rgb(*strip, px, RING_CELL + y),
                         plain = Rgb(*strip, px, 2 * RING_CELL + y);
          if (OrAnd(kDark, image, plain) == kDark && OrAnd(kWhite, image, plain) == kWhite) {
            // Not the icon: a highlighted cell may shade the ring, but only by AND.
            ASSERT_EQ(image, 0u) << id << " cell " << cell;
            highlight += OrAnd(kWhite, image, lit) != kWhite;
          } else {
            // The icon: its own colours on any ring, highlighted or not.
            ASSERT_EQ(OrAnd(kDark, image, plain), OrAnd(kWhite, image, plain)) << id << " cell " << cell;
            ASSERT_EQ(OrAnd(kDark, image, lit), OrAnd(kDark, image, plain)) << id << " cell " << cell;
            ++icon;
          }
        }
      }
      if (cells.count(cell)) {
        EXPECT_GT(icon, 60) << id << " cell " << cell;
        EXPECT_GT(highlight, 60) << id << " cell " << cell;
      } else {
        EXPECT_EQ(icon + highlight, 0) << id << " cell " << cell;
      }
    }
  }
}

// ---- Start-up -------------------------------------------------------------------------------

class ResourceStartupTest : public AppTest {};

TEST_F(ResourceStartupTest, StartUpRegistersTheTableAndTheArtwork) {
  gui::RegisterStringResource(ID_OPER_PAINT, u"");
  gui::RegisterBitmapResource(IDB_LAYERLIST, nullptr);
  gui::RegisterToolBarResource(IDR_OPT_PAINT, {});
  ASSERT_TRUE(Start());
  EXPECT_EQ(gui::LoadStringResource(ID_OPER_PAINT), u"绘画\n绘画");
  EXPECT_TRUE(gui::LoadBitmapResource(IDB_LAYERLIST));
  EXPECT_EQ(gui::FindToolBarResource(IDR_OPT_PAINT)->commands, (std::vector<UINT>{32827, 32853}));
}

// ---- The contact sheet ----------------------------------------------------------------------

QImage ToQImage(const gui::ScreenImage& image) {
  QImage out(image.Width(), image.Height(), image.KeepsAlpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) out.setPixel(x, y, image.Pixel(x, y));
  return out;
}

// Composes `image` through OR/AND with the given rows onto a background.
QImage Composite(const gui::ScreenImage& strip, int rows, int orRow, int andRow, uint32_t bg) {
  const int h = strip.Height() / rows;
  QImage out(strip.Width(), h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < strip.Width(); ++x)
      out.setPixel(x, y, 0xFF000000 | OrAnd(bg, Rgb(strip, x, orRow * h + y), Rgb(strip, x, andRow * h + y)));
  return out;
}

class Sheet {
 public:
  Sheet() : m_image(1500, 8000, QImage::Format_RGB32), m_p(&m_image) {
    m_image.fill(0xFFD8DCDC);
    QFont font = m_p.font();
    font.setPixelSize(12);
    m_p.setFont(font);
  }
  void Title(const QString& text) {
    NewLine();
    m_p.setPen(Qt::black);
    m_p.drawText(8, m_y + 14, text);
    m_y += 20;
  }
  // Places an image magnified with a caption; wraps to a new line when full.
  void Put(const QImage& image, int scale, const QString& caption, QRgb back = 0) {
    const int w = image.width() * scale, h = image.height() * scale;
    if (m_x + w > m_image.width() - 8) NewLine();
    if (back) m_p.fillRect(m_x, m_y, w, h, QColor::fromRgba(back));
    m_p.drawImage(QRect(m_x, m_y, w, h), image);
    m_p.setPen(Qt::black);
    m_p.drawText(m_x, m_y + h + 13, caption);
    m_x += std::max(w, 60) + 12;
    m_rowHeight = std::max(m_rowHeight, h + 18);
  }
  void NewLine() {
    m_y += m_rowHeight;
    m_x = 8;
    m_rowHeight = 0;
  }
  bool Save(const QString& path) {
    NewLine();
    m_p.end();
    return m_image.copy(0, 0, m_image.width(), m_y + 8).save(path);
  }

 private:
  QImage m_image;
  QPainter m_p;
  int m_x = 8, m_y = 8, m_rowHeight = 0;
};

TEST_F(ResourceTest, ContactSheetIsWritten) {
  Sheet sheet;
  sheet.Title(QStringLiteral("Panel strips: raw, then each picture row composed on the row colour, white and dark"));
  for (UINT id : {IDB_LAYERLIST, IDB_BRUSHLIST, IDB_PROPERTYLIST}) {
    auto strip = Load(id);
    ASSERT_TRUE(strip);
    sheet.Put(ToQImage(*strip), 4, QString::number(id));
    for (int row = 1; row <= 2; ++row)
      for (uint32_t bg : {LIST_ROW_FACE, kWhite, kDark})
        sheet.Put(Composite(*strip, 3, 0, row, bg), 4, QStringLiteral("%1 row %2").arg(id).arg(row));
    sheet.NewLine();
  }
  sheet.Title(QStringLiteral("Ring strips: raw, then normal and highlighted on the ring face and dark"));
  for (UINT id : kRingStrips) {
    auto strip = Load(id);
    ASSERT_TRUE(strip);
    sheet.Put(ToQImage(*strip), 1, QString::number(id));
    sheet.Put(Composite(*strip, 3, 0, 2, RING_FACE), 3, QStringLiteral("%1 normal").arg(id));
    sheet.Put(Composite(*strip, 3, 0, 1, RING_FACE), 3, QStringLiteral("%1 highlighted").arg(id));
    sheet.Put(Composite(*strip, 3, 0, 1, kDark), 3, QStringLiteral("%1 on dark").arg(id));
    sheet.NewLine();
  }
  sheet.Title(QStringLiteral("Toolbars (x1, x3) and the main toolbar's lists"));
  for (UINT id : {IDR_MAINFRAME, IDR_OPERATION, IDR_VIEW, IDR_LAYERSTRIP, IDR_BRUSHSTRIP, IDR_OPT_DISTORT,
                  IDR_OPT_LASSO, IDR_OPT_MOVE, IDR_OPT_NEW, IDR_OPT_CROP, IDR_OPT_PAINT, IDR_OPT_SHAPE, IDR_OPT_FLOOD}) {
    auto image = Load(id);
    ASSERT_TRUE(image);
    sheet.Put(ToQImage(*image), 1, QString::number(id), 0xFFEFEFEF);
    sheet.Put(ToQImage(*image), 3, QString::number(id), 0xFFEFEFEF);
  }
  sheet.NewLine();
  for (UINT id : {IDB_MAINBAR, IDB_MAINBAR_HOT, IDB_MAINBAR_DISABLED}) {
    auto image = Load(id);
    ASSERT_TRUE(image);
    sheet.Put(ToQImage(*image), 3, QString::number(id));
  }
  sheet.Title(QStringLiteral("Cursors on white, grey and dark (x3; the hot spot marked red at x1)"));
  std::vector<UINT> cursors = art::CursorIds();
  for (UINT id : cursors) {
    const art::CursorArt cursor = art::MakeCursorArt(id);
    QImage image(32, 32, QImage::Format_ARGB32);
    for (int i = 0; i < 32 * 32; ++i) image.setPixel(i % 32, i / 32, cursor.pixels[size_t(i)]);
    for (QRgb back : {0xFFFFFFFFu, 0xFF808890u, 0xFF202428u}) sheet.Put(image, 3, QString::number(id), back);
    QImage marked = image.convertToFormat(QImage::Format_ARGB32);
    marked.setPixel(cursor.hotX, cursor.hotY, 0xFFFF0000);
    sheet.Put(marked, 1, QStringLiteral("hot"), 0xFFFFFFFF);
  }
  auto splash = Load(IDB_SPLASH);
  ASSERT_TRUE(splash);
  sheet.Title(QStringLiteral("Splash"));
  sheet.Put(ToQImage(*splash), 1, QString::number(IDB_SPLASH));
  EXPECT_TRUE(sheet.Save(QStringLiteral(TEST_OUTPUT_DIR "/resource_sheet.png")));
}

}  // namespace
