// The paint bucket through synthesised view messages on small hand-made line art, colour and
// mask: every fill is compared with the region a plain breadth-first flood of the same picture
// gives (the pixels well inside it take the colour, those well outside stay as they were, the
// smoothed edge in between may be partial), then undone and redone bit for bit. Also the disc
// that limits one flood, the outward push, the auto-layer mode, the refusals, a dropped
// flooding, the blend's exact values and a 10000 x 10000 mask layer filled at its far corner.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <queue>

#include "FillToolFixture.h"
#include "XCreateShapeFromBitmap.h"
#include "XFlood.h"
#include "frame/ResourceIds.h"
#include "tools/BucketBlend.h"
#include "tools/FunctionMenu.h"
#include "tools/FloodOutline.h"
#include "tools/OperFlood.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu, kInk = 0xFF000000u;
constexpr uint32_t kMaskInk = 0xFF00u;
constexpr COLORREF kRed = 0xFF0000;  // the current colour, 0x00RRGGBB
constexpr int kSide = 64;

struct Picture {
  int w = kSide, h = kSide;
  std::vector<uint32_t> px;
  uint32_t& at(int x, int y) { return px[size_t(y) * size_t(w) + size_t(x)]; }
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

Picture Blank(uint32_t v) {
  Picture p;
  p.px.assign(size_t(p.w) * size_t(p.h), v);
  return p;
}

// A one-pixel rectangle outline, corners inclusive.
void Frame(Picture& p, int x0, int y0, int x1, int y1, uint32_t v) {
  for (int x = x0; x <= x1; ++x) p.at(x, y0) = p.at(x, y1) = v;
  for (int y = y0; y <= y1; ++y) p.at(x0, y) = p.at(x1, y) = v;
}

// The region of a plain flood: 4-neighbours, each tested against the pixel it is reached from.
std::vector<uint8_t> Reference(const Picture& p, POINT seed, int tolerance, bool mask) {
  std::vector<uint8_t> in(p.px.size(), 0);
  std::queue<POINT> q;
  in[size_t(seed.y) * size_t(p.w) + size_t(seed.x)] = 1;
  q.push(seed);
  const auto passes = [&](uint32_t from, uint32_t to) {
    if (mask) return int(from) - int(to) <= tolerance * 128;
    int d = 0;
    for (int s = 0; s < 32; s += 8) d += std::abs(int((from >> s) & 255) - int((to >> s) & 255));
    return d < tolerance;
  };
  while (!q.empty()) {
    const POINT c = q.front();
    q.pop();
    for (POINT n : {POINT{c.x - 1, c.y}, POINT{c.x, c.y - 1}, POINT{c.x + 1, c.y}, POINT{c.x, c.y + 1}}) {
      if (n.x < 0 || n.y < 0 || n.x >= p.w || n.y >= p.h) continue;
      uint8_t& seen = in[size_t(n.y) * size_t(p.w) + size_t(n.x)];
      if (seen || !passes(p.at(c.x, c.y), p.at(n.x, n.y))) continue;
      seen = 1;
      q.push(n);
    }
  }
  return in;
}

class FloodTool : public FillToolFixture {
 protected:
  void SetUp() override {
    sys.Register(u"XFlood", GCreateComponent<XFlood>);
    sys.Register(u"XCreateShapeFromBitmap", GCreateComponent<XCreateShapeFromBitmap>);
    win.shell = &shell;
    shell.withBar = false;
    win.colour = kRed;
    tool = new COperFlood();
  }
  void Start(UINT side = kSide) {
    Init(side, side, tool);
    // Smoothing over 5 points: corners round off within 2 pixels.
    tool->SetOption(COperFlood::mySMOOTH, 1);
  }
  OLayer* Load(const Picture& p, int format) {
    OLayer* l = AddLayer(p.w, p.h, format, UINT(list->GetCount() + 1), 0, 0, 0);
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) {
        if (format == OLayer::myFORMAT_C32) reinterpret_cast<uint32_t*>(lock.Row(y))[x] = p.at(x, y);
        else reinterpret_cast<uint16_t*>(lock.Row(y))[x] = uint16_t(p.at(x, y));
      }
    lock.Unlock();
    l->MipRefresh(nullptr);
    list->SetCurSelect(list->GetCount() - 1);
    return l;
  }
  // The client pixel whose centre maps into the space pixel (the view shows it at least 1:1).
  POINT ClientOf(POINT s) {
    const float in[2] = {float(s.x) + 0.5f, float(s.y) + 0.5f};
    float out[2];
    realDevice->SpaceToClient(out, in, space->m_pTransform);
    return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
  }
  // A press at the first point, a drag through the others, the release at the last.
  void Stroke(const std::vector<POINT>& at) {
    const POINT first = ClientOf(at.front());
    Send(WM_LBUTTONDOWN, MK_LBUTTON, first.x, first.y);
    for (size_t i = 1; i < at.size(); ++i) {
      const POINT c = ClientOf(at[i]);
      Send(WM_MOUSEMOVE, MK_LBUTTON, c.x, c.y);
    }
    const POINT last = ClientOf(at.back());
    Send(WM_LBUTTONUP, 0, last.x, last.y);
  }
  // Pixels no more than 2 from the other side of the region's edge, or from a corner of the
  // layer (where a region's corner is rounded too), are the smoothed band; the rest inside
  // must be exactly filled, the rest outside exactly as before.
  void ExpectRegionFilled(OLayer* layer, const Picture& before, const std::vector<uint8_t>& region,
                          uint32_t filled) {
    const std::vector<uint32_t> now = Pixels(layer);
    int wrongInside = 0, wrongOutside = 0, inside = 0;
    for (int y = 0; y < before.h; ++y)
      for (int x = 0; x < before.w; ++x) {
        const bool in = region[size_t(y) * size_t(before.w) + size_t(x)];
        bool band = (x < 2 || x >= before.w - 2) && (y < 2 || y >= before.h - 2);
        for (int dy = -2; dy <= 2 && !band; ++dy)
          for (int dx = -2; dx <= 2 && !band; ++dx) {
            const int nx = x + dx, ny = y + dy;
            if (nx < 0 || ny < 0 || nx >= before.w || ny >= before.h) continue;
            band = bool(region[size_t(ny) * size_t(before.w) + size_t(nx)]) != in;
          }
        if (band) continue;
        const uint32_t got = now[size_t(y) * size_t(before.w) + size_t(x)];
        if (in) {
          ++inside;
          if (got != filled && ++wrongInside <= 3) ADD_FAILURE() << "inside pixel " << x << "," << y << " = " << std::hex << got;
        } else if (got != before.at(x, y) && ++wrongOutside <= 3) {
          ADD_FAILURE() << "outside pixel " << x << "," << y << " = " << std::hex << got;
        }
      }
    EXPECT_GT(inside, 0) << "the region has an inside to check";
    EXPECT_EQ(wrongInside, 0);
    EXPECT_EQ(wrongOutside, 0);
  }
  std::vector<uint32_t> PixelsOf(OLayer* layer) { return Pixels(layer); }

  COperFlood* tool = nullptr;
  RecordingShell shell;
};

// ---------------------------------------------------------------------------------------------
// Line art

struct Case {
  const char* name;
  std::function<void(Picture&, uint32_t ink)> draw;
  std::vector<POINT> stroke;
  int tolerance;
};

// A faint gap: 93 from white on a colour layer, 0x800 on a mask layer.
constexpr uint32_t kFaintColour = 0xFFE0E0E0u, kFaintMask = 0x0800u;

void GapFrame(Picture& p, uint32_t ink) {
  Frame(p, 10, 10, 40, 30, ink);
  p.at(25, 10) = ink == kInk ? kFaintColour : kFaintMask;
}

void Rings(Picture& p, uint32_t ink) {
  Frame(p, 4, 4, 59, 59, ink);
  Frame(p, 14, 14, 49, 49, ink);
  Frame(p, 24, 24, 39, 39, ink);
}

const Case kCases[] = {
    {"closed rectangle", [](Picture& p, uint32_t ink) { Frame(p, 10, 10, 40, 30, ink); }, {{20, 20}}, 10},
    {"faint gap that holds",
     GapFrame,
     {{20, 20}},
     10},
    {"faint gap that leaks",
     GapFrame,
     {{20, 20}},
     100},
    {"band between rings",
     Rings,
     {{8, 30}},
     10},
    {"inside the inner ring",
     Rings,
     {{31, 31}},
     10},
    {"region on the space edge",
     [](Picture& p, uint32_t ink) {
       for (int y = 0; y < kSide; ++y) p.at(20, y) = ink;
     },
     {{5, 30}},
     10},
    {"drag across two regions",
     [](Picture& p, uint32_t ink) {
       Frame(p, 4, 10, 28, 50, ink);
       Frame(p, 34, 10, 58, 50, ink);
     },
     {{15, 30}, {46, 30}},
     10},
};

TEST_F(FloodTool, FillsLineArtRegionsOfBothFormats) {
  Start();
  for (const int format : {int(OLayer::myFORMAT_C32), int(OLayer::myFORMAT_A16)}) {
    const bool mask = format == OLayer::myFORMAT_A16;
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(c.name) + (mask ? " (mask)" : " (colour)"));
      Picture p = Blank(mask ? 0u : kWhite);
      c.draw(p, mask ? kMaskInk : kInk);
      while (list->GetCount()) list->DelLayer(0);
      space->GetUndoStore()->Clear();
      OLayer* layer = Load(p, format);
      tool->SetOption(COperFlood::myTOLERANCE, c.tolerance);
      std::vector<uint8_t> region(p.px.size(), 0);
      for (POINT s : c.stroke) {
        const std::vector<uint8_t> one = Reference(p, s, c.tolerance, mask);
        for (size_t i = 0; i < region.size(); ++i) region[i] |= one[i];
      }
      const std::vector<uint32_t> before = PixelsOf(layer);
      Stroke(c.stroke);
      EXPECT_EQ(UndoSteps(), 1u);
      EXPECT_EQ(LastLabel(), u"油漆桶填充");
      ExpectRegionFilled(layer, p, region, mask ? 0xFF00u : 0xFF000000u | kRed);
      ExpectUndoRedoExact(layer, before);
    }
  }
}

TEST_F(FloodTool, OneFloodReachesOnlyTheDiscAroundItsPixel) {
  Start();
  OLayer* layer = Load(Blank(kWhite), OLayer::myFORMAT_C32);
  // The smallest reach: a disc of radius 10.
  tool->m_fRadius = 1.0f;
  ASSERT_EQ(tool->FloodRadius(), 10);
  Stroke({{32, 32}});
  const std::vector<uint32_t> px = PixelsOf(layer);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      const double d = std::hypot(x + 0.5 - 32.5, y + 0.5 - 32.5);
      const uint32_t got = px[size_t(y) * kSide + size_t(x)];
      if (d < 7) {
        EXPECT_EQ(got, 0xFF000000u | kRed) << x << "," << y;
      } else if (d > 13) {
        EXPECT_EQ(got, kWhite) << x << "," << y;
      }
    }
}

TEST_F(FloodTool, ExpansionPushesTheFillOverTheLines) {
  Start();
  Picture p = Blank(kWhite);
  Frame(p, 10, 10, 40, 30, kInk);
  OLayer* layer = Load(p, OLayer::myFORMAT_C32);
  tool->SetOption(COperFlood::myEXPAND, 3);
  Stroke({{20, 20}});
  const std::vector<uint32_t> px = PixelsOf(layer);
  const auto at = [&](int x, int y) { return px[size_t(y) * kSide + size_t(x)]; };
  // The line (1 out) and the pixel beyond it (2 out) are covered; 5 out is untouched.
  EXPECT_EQ(at(25, 10), 0xFF000000u | kRed);
  EXPECT_EQ(at(25, 9), 0xFF000000u | kRed);
  EXPECT_EQ(at(40, 20), 0xFF000000u | kRed);
  EXPECT_EQ(at(25, 5), kWhite);
  EXPECT_EQ(at(45, 20), kWhite);
  EXPECT_EQ(at(25, 20), 0xFF000000u | kRed);
}

// ---------------------------------------------------------------------------------------------
// Auto-layer mode

TEST_F(FloodTool, AutoLayerModeFillsEachColourIntoItsOwnMaskLayer) {
  Start();
  Picture p = Blank(0);
  Frame(p, 4, 10, 28, 50, kMaskInk);
  Frame(p, 34, 10, 58, 50, kMaskInk);
  OLayer* art = Load(p, OLayer::myFORMAT_A16);
  const std::vector<uint32_t> artBefore = PixelsOf(art);

  CmdUIState ui;
  ASSERT_TRUE(tool->OnCmdMsg(ID_FLOOD_AUTOLAYER, &ui));
  EXPECT_TRUE(ui.bEnabled);
  EXPECT_FALSE(ui.bChecked);
  ASSERT_TRUE(tool->OnCmdMsg(ID_FLOOD_AUTOLAYER, nullptr));
  CmdUIState on;
  tool->OnCmdMsg(ID_FLOOD_AUTOLAYER, &on);
  EXPECT_TRUE(on.bChecked);
  ASSERT_EQ(art->GetFlags() & LYR_FLAG_SOURCE, LYR_FLAG_SOURCE);

  const std::vector<uint8_t> left = Reference(p, {15, 30}, 10, true);
  const std::vector<uint8_t> right = Reference(p, {46, 30}, 10, true);
  Stroke({{15, 30}});
  ASSERT_EQ(list->GetCount(), 2);
  OLayer* red = list->GetLayer(1);
  EXPECT_EQ(red->GetFormat(), OLayer::myFORMAT_A16);
  EXPECT_EQ(red->GetColor(nullptr, nullptr) & 0xFFFFFFu, 0x0000FFu) << "the list keeps 0x00BBGGRR";
  EXPECT_EQ(PixelsOf(art), artBefore) << "the source is only read";
  ExpectRegionFilled(red, Blank(0), left, 0xFF00u);

  // The same colour again: the same layer takes the second region.
  Stroke({{46, 30}});
  ASSERT_EQ(list->GetCount(), 2);
  std::vector<uint8_t> both(left.size());
  for (size_t i = 0; i < both.size(); ++i) both[i] = left[i] | right[i];
  ExpectRegionFilled(red, Blank(0), both, 0xFF00u);

  // Another colour: a layer of its own.
  win.colour = 0x0000FF;
  const std::vector<uint32_t> redBefore = PixelsOf(red);
  Stroke({{46, 30}});
  ASSERT_EQ(list->GetCount(), 3);
  OLayer* blue = list->GetLayer(1) == red ? list->GetLayer(2) : list->GetLayer(1);
  EXPECT_EQ(blue->GetColor(nullptr, nullptr) & 0xFFFFFFu, 0xFF0000u);
  ExpectRegionFilled(blue, Blank(0), right, 0xFF00u);
  EXPECT_EQ(PixelsOf(red), redBefore);

  // Undone to the start: the fills, the new layers and the source mark all go.
  while (UndoSteps()) space->Undo(1);
  EXPECT_EQ(list->GetCount(), 1);
  EXPECT_EQ(list->GetLayer(0)->GetFlags() & LYR_FLAG_SOURCE, 0u);
  EXPECT_EQ(PixelsOf(list->GetLayer(0)), artBefore);
}

TEST_F(FloodTool, AutoLayerCommandIsOnlyForMaskLayers) {
  Start();
  OLayer* colour = Load(Blank(kWhite), OLayer::myFORMAT_C32);
  CmdUIState ui;
  tool->OnCmdMsg(ID_FLOOD_AUTOLAYER, &ui);
  EXPECT_FALSE(ui.bEnabled);
  const UINT steps = UndoSteps();
  tool->OnCmdMsg(ID_FLOOD_AUTOLAYER, nullptr);
  EXPECT_EQ(colour->GetFlags() & LYR_FLAG_SOURCE, 0u);
  EXPECT_EQ(UndoSteps(), steps);
}

// ---------------------------------------------------------------------------------------------
// Nothing to fill

TEST_F(FloodTool, RefusesHiddenProtectedOrMissingLayersAndSaysWhy) {
  Start();
  // No layer at all.
  Stroke({{20, 20}});
  EXPECT_EQ(UndoSteps(), 0u);
  ASSERT_EQ(shell.statuses.size(), 1u);

  Picture p = Blank(kWhite);
  Frame(p, 10, 10, 40, 30, kInk);
  OLayer* layer = Load(p, OLayer::myFORMAT_C32);
  const std::vector<uint32_t> before = PixelsOf(layer);
  for (const uint32_t flag : {LYR_FLAG_HIDDEN, LYR_FLAG_PROTECT}) {
    SCOPED_TRACE(flag);
    layer->SetFlags(flag);
    const size_t said = shell.statuses.size();
    const UINT steps = UndoSteps();
    Stroke({{20, 20}});
    EXPECT_EQ(PixelsOf(layer), before);
    EXPECT_EQ(UndoSteps(), steps);
    ASSERT_EQ(shell.statuses.size(), said + 1);
    EXPECT_FALSE(shell.statuses.back().empty());
    EXPECT_TRUE(tool->IsReady());
  }
  layer->SetFlags(0);
  Stroke({{20, 20}});
  EXPECT_NE(PixelsOf(layer), before);
}

TEST_F(FloodTool, LayerOfThreePixelsIsLeftAlone) {
  Start();
  GCompRef<OLayer> l = NewLayer(3, 40, OLayer::myFORMAT_C32, 1);
  list->AddLayer(-1, l);
  list->SetCurSelect(0);
  const std::vector<uint32_t> before = PixelsOf(l);
  Stroke({{1, 20}});
  EXPECT_EQ(PixelsOf(l), before);
  EXPECT_EQ(UndoSteps(), 0u);
}

TEST_F(FloodTool, RightClickWhileFloodingDropsTheFill) {
  Start();
  Picture p = Blank(kWhite);
  Frame(p, 10, 10, 40, 30, kInk);
  OLayer* layer = Load(p, OLayer::myFORMAT_C32);
  const std::vector<uint32_t> before = PixelsOf(layer);
  const POINT c = ClientOf({20, 20});
  Send(WM_LBUTTONDOWN, MK_LBUTTON, c.x, c.y);
  Send(WM_RBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, c.x, c.y);
  Send(WM_RBUTTONUP, MK_LBUTTON, c.x, c.y);
  Send(WM_LBUTTONUP, 0, c.x, c.y);
  EXPECT_EQ(PixelsOf(layer), before);
  EXPECT_EQ(UndoSteps(), 0u);
  EXPECT_TRUE(shell.rings.empty()) << "the click ended the flooding, it opened no menu";
  EXPECT_TRUE(tool->IsReady());
}

// The flooded layer taken out of the list behind the tool's back: the release cannot write
// its step and fails, and the tool is ready for the next press, which fills.
TEST_F(FloodTool, AFailedReleaseLeavesTheToolReady) {
  Start();
  Picture p = Blank(kWhite);
  Frame(p, 10, 10, 40, 30, kInk);
  OLayer* kept = Load(p, OLayer::myFORMAT_C32);
  OLayer* flooded = Load(p, OLayer::myFORMAT_C32);
  const std::vector<uint32_t> before = PixelsOf(kept);
  const POINT c = ClientOf({20, 20});
  Send(WM_LBUTTONDOWN, MK_LBUTTON, c.x, c.y);
  GCompRef<OLayer> gone;
  gone.m_ptr = list->DetachLayer(list->GetCurSel());
  ASSERT_EQ(gone.get(), flooded);
  list->SetCurSelect(0);
  EXPECT_TRUE(SendFailing(WM_LBUTTONUP, 0, c.x, c.y));
  EXPECT_TRUE(tool->IsReady());
  Send(WM_LBUTTONDOWN, MK_LBUTTON, c.x, c.y);
  Send(WM_LBUTTONUP, 0, c.x, c.y);
  EXPECT_NE(PixelsOf(kept), before) << "the next click fills";
  EXPECT_EQ(UndoSteps(), 1u);
}

DWORD g_now = 0;
DWORD Now() { return g_now; }

TEST_F(FloodTool, WheelGestureAndSpaceTapSetTheRadiusOrOpenTheRing) {
  COperation::SetTickSource(Now);
  Start();
  const float max = tool->m_fMaxRadius;
  ASSERT_EQ(max, 200.0f) << "half the larger side of the 400 x 300 view";
  EXPECT_EQ(tool->m_fRadius, 100.0f);
  LRESULT r = 0;
  Send(WM_MOUSEMOVE, 0, 200, 150);
  space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MakePointLParam(200, 150), &r);
  EXPECT_FLOAT_EQ(tool->m_fRadius, 80.0f);
  space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(-WHEEL_DELTA)), MakePointLParam(200, 150), &r);
  EXPECT_FLOAT_EQ(tool->m_fRadius, 96.0f);
  for (int i = 0; i < 20; ++i)
    space->OnWndMsg(WM_MOUSEWHEEL, MAKEWPARAM(0, uint16_t(-WHEEL_DELTA)), MakePointLParam(200, 150), &r);
  EXPECT_EQ(tool->m_fRadius, max) << "never above half the larger side";
  tool->m_fRadius = 100.0f;

  // SPACE held: a move 30 pixels right grows the ratio 0.5 by (30 - 10) x 0.02 of what is left.
  g_now = 1000;
  space->OnWndMsg(WM_KEYDOWN, VK_SPACE, 1, &r);
  Send(WM_MOUSEMOVE, 0, 230, 150);
  EXPECT_NEAR(tool->m_fRadius, max * (0.5f + 0.4f * 0.5f), 1e-3);
  g_now = 2000;
  space->OnWndMsg(WM_KEYUP, VK_SPACE, LPARAM(0xC0000001u), &r);
  EXPECT_NEAR(tool->m_fRadius, 140.0f, 1e-3) << "a long hold keeps the new radius";
  EXPECT_TRUE(shell.rings.empty());

  // A tap of 249 ms: the radius as it was at the key press, and the ring menu at the cursor.
  g_now = 3000;
  space->OnWndMsg(WM_KEYDOWN, VK_SPACE, 1, &r);
  Send(WM_MOUSEMOVE, 0, 190, 150);
  g_now = 3249;
  space->OnWndMsg(WM_KEYUP, VK_SPACE, LPARAM(0xC0000001u), &r);
  EXPECT_NEAR(tool->m_fRadius, 140.0f, 1e-3);
  ASSERT_EQ(shell.rings.size(), 1u);
  EXPECT_EQ(shell.rings[0].x, ToolHost::kScreen.x + 190);
  // Its lower-left sector switches the tolerance.
  CFunctionMenu* ring = shell.rings[0].menu;
  EXPECT_EQ(std::u16string(ring->GetLabel(FLOWER_SECTOR_BOTTOMLEFT, 1)), u"容差切换");
  ring->Run(0, 0, FLOWER_SECTOR_BOTTOMLEFT, 0);
  EXPECT_EQ(tool->GetOption(COperFlood::myTOLERANCE), 100);
  COperation::SetTickSource(nullptr);
}

TEST_F(FloodTool, ToleranceSwitchGoesToHundredAndBack) {
  Start();
  EXPECT_EQ(tool->GetOption(COperFlood::myTOLERANCE), 10);
  tool->SwitchTolerance();
  EXPECT_EQ(tool->GetOption(COperFlood::myTOLERANCE), 100);
  tool->SwitchTolerance();
  EXPECT_EQ(tool->GetOption(COperFlood::myTOLERANCE), 10);
  // From 100 as the first switch: the value saved at construction, 1.
  COperFlood* fresh = new COperFlood();
  fresh->AddRef();
  fresh->SetOption(COperFlood::myTOLERANCE, 100);
  fresh->SwitchTolerance();
  EXPECT_EQ(fresh->GetOption(COperFlood::myTOLERANCE), 1);
  fresh->Release();
}

// ---------------------------------------------------------------------------------------------
// Blend and outline

TEST(BucketBlend, ExactValuesAtFullAndHalfCoverage) {
  const uint32_t colour = 0xFF2060A0u;
  uint32_t px[3] = {0x00000000u, 0x00000000u, 0x80FFFFFFu};
  const uint16_t cov[3] = {256, 128, 0};
  bucket::BlendRowC32(px, cov, 3, colour);
  EXPECT_EQ(px[0], colour) << "full coverage on a clear pixel is the colour";
  // Coverage 128: alpha 127, each channel (d + 255 s) >> 8.
  EXPECT_EQ(px[1], (127u << 24) | ((0x20u * 255 >> 8) << 16) | ((0x60u * 255 >> 8) << 8) | (0xA0u * 255 >> 8));
  EXPECT_EQ(px[2], 0x80FFFFFFu) << "no coverage, no change";

  uint16_t m[3] = {0x0000, 0x40FF, 0x1234};
  const uint16_t mc[3] = {256, 128, 0};
  bucket::BlendRowA16(m, mc, 3);
  EXPECT_EQ(m[0], 0xFF00);
  EXPECT_EQ(m[1], uint16_t(((((0x40 + 1) * (255 - 127)) >> 8) + 127) << 8)) << "the low byte is cleared";
  EXPECT_EQ(m[2], 0x1234);
}

TEST(FloodOutline, SmoothingExpansionAndTurning) {
  // A square of side 20 traced clockwise on the screen (y down), one point per pixel.
  std::deque<POINTF> square;
  for (POINTF corner : {POINTF{0, 0}, POINTF{20, 0}, POINTF{20, 20}, POINTF{0, 20}, POINTF{0, 0}})
    flood_outline::AddPoint(&square, corner);
  square.pop_back();
  EXPECT_EQ(square.size(), 80u);
  EXPECT_NEAR(flood_outline::Turning(square), 2 * std::numbers::pi, 1e-6);
  std::deque<POINTF> reversed(square.rbegin(), square.rend());
  EXPECT_NEAR(flood_outline::Turning(reversed), -2 * std::numbers::pi, 1e-6);

  std::deque<POINTF> smooth;
  flood_outline::Smooth(square, 2, &smooth);
  ASSERT_EQ(smooth.size(), 80u);
  // A straight stretch keeps its points; the average is over the point and the 4 after it.
  EXPECT_FLOAT_EQ(smooth[5].x, 7.0f);
  EXPECT_FLOAT_EQ(smooth[5].y, 0.0f);
  flood_outline::Smooth(square, 20, &smooth);
  EXPECT_TRUE(smooth.empty()) << "80 points are fewer than twice the window of 41";

  // Clockwise on the screen is outwards to the left of travel: the top edge moves up.
  std::deque<POINTF> grown = square;
  ASSERT_TRUE(flood_outline::Expand(&grown, 3));
  EXPECT_NEAR(grown[10].y, -3.0, 1e-3);
  EXPECT_NEAR(grown[10].x, 10.0, 1e-3);
  std::deque<POINTF> seven(square.begin(), square.begin() + 7);
  EXPECT_FALSE(flood_outline::Expand(&seven, 3));
  EXPECT_TRUE(flood_outline::Expand(&seven, 0));
  // A contour the other way round (a hole) shrinks when pushed; a small one pushed past its
  // centre turns inside out and grows: it is refused.
  const auto hole = [](float r) {
    std::deque<POINTF> c;
    for (int i = 0; i < 40; ++i) {
      const double t = -2 * std::numbers::pi * i / 40;
      c.push_back(POINTF{float(r * std::cos(t)), float(r * std::sin(t))});
    }
    return c;
  };
  std::deque<POINTF> shrunk = hole(10);
  EXPECT_TRUE(flood_outline::Expand(&shrunk, 3));
  EXPECT_NEAR(std::hypot(shrunk[7].x, shrunk[7].y), 7.0, 0.1);
  std::deque<POINTF> inverted = hole(2);
  EXPECT_FALSE(flood_outline::Expand(&inverted, 5));
}

// ---------------------------------------------------------------------------------------------
// The largest space

TEST_F(FloodTool, FillsTheFarCornerOfALargestMaskLayer) {
  Start(10000);
  GCompRef<OLayer> l = NewLayer(10000, 10000, OLayer::myFORMAT_A16, 1);
  {
    LayerLock lock;
    ASSERT_TRUE(lock.Lock(l, 0));
    for (int y = 0; y < 10000; ++y) {
      auto* row = reinterpret_cast<uint16_t*>(lock.Row(y));
      std::fill(row, row + 10000, uint16_t(0));
      row[9900] = uint16_t(kMaskInk);
    }
  }
  l->MipRefresh(nullptr);
  list->AddLayer(-1, l);
  list->SetCurSelect(0);
  // A reach of 30 around the pixel under the client point of (9960, 9960).
  tool->m_fRadius = 30.0f * View().scale;
  ASSERT_EQ(tool->FloodRadius(), 30);
  const POINT c = ClientOf({9960, 9960});
  const auto [sx, sy] = SpaceAt(float(c.x) + 0.5f, float(c.y) + 0.5f);
  const int x = int(std::floor(sx)), y = int(std::floor(sy));
  ASSERT_GT(x, 9920);
  ASSERT_GT(y, 9920);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, c.x, c.y);
  Send(WM_LBUTTONUP, 0, c.x, c.y);
  const auto at = [&](int px, int py) {
    LayerLock lock;
    EXPECT_TRUE(lock.Lock(l, 0));
    return reinterpret_cast<const uint16_t*>(lock.Row(py))[px];
  };
  EXPECT_EQ(at(x, y), 0xFF00);
  EXPECT_EQ(at(x, std::min(y + 20, 9999)), 0xFF00);
  EXPECT_EQ(at(x, y - 40), 0) << "beyond the reach";
  EXPECT_EQ(at(9899, y), 0) << "beyond the line";
  space->Undo(1);
  EXPECT_EQ(at(x, y), 0);
  EXPECT_LE(tool->m_mask.HeldBytes(), size_t(10016) * 10002 / 8 + CFloodMask::kBoxBytes);
}

}  // namespace
