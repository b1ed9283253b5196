// Block occupancy: every pixel-writing path leaves every non-zero block marked at every mip
// level, and the view leaving out empty blocks shows the very same pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "MorvaneFixture.h"
#include "OccupancyChecks.h"
#include "XShowDevice.h"

namespace {

constexpr int C32 = OLayer::myFORMAT_C32, A16 = OLayer::myFORMAT_A16;

// Some random pixels in a few random rectangles (zero elsewhere is left as it is).
void Scatter(OLayer* l, std::mt19937& rng, int rects = 3) {
  LayerLock k;
  k.Lock(l, 0);
  for (int i = 0; i < rects; ++i) {
    const int x0 = int(rng() % uint32_t(k.nWidth)), y0 = int(rng() % uint32_t(k.nHeight));
    const int x1 = std::min(k.nWidth, x0 + 1 + int(rng() % 90)), y1 = std::min(k.nHeight, y0 + 1 + int(rng() % 90));
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        if (rng() % 3 == 0) continue;
        const uint32_t v = rng() | 0x01000000u;
        std::memcpy(k.Row(y) + size_t(x) * size_t(k.nPixelSize), &v, size_t(k.nPixelSize));
      }
  }
}

class OccupancyTest : public LayerTest {
 protected:
  OccupancyTest() {
    sys.Register(u"XShowDevice", GCreateComponent<XShowDevice>);
    dev = static_cast<OShowDevice*>(sys.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
  }
  // A layer of content at an odd position, its levels refreshed (its map known).
  GCompRef<OLayer> Painted(int format, std::mt19937& rng, int w = 300, int h = 220) {
    GCompRef<OLayer> l = dev->CreateLayer(w, h, format, ++id);
    l->SetPosition(-37, 21, FALSE);
    Scatter(l, rng);
    l->MipRefresh(nullptr);
    return l;
  }
  // Each path of a table {name, format, path(layer, rng)} on a layer of content whose map is
  // known, then check(layer, name).
  template <class Paths, class Check>
  void RunPaths(const Paths& paths, uint32_t seed, Check check) {
    std::mt19937 rng(seed);
    for (const auto& p : paths) {
      SCOPED_TRACE(p.name);
      GCompRef<OLayer> l = Painted(p.format, rng);
      ASSERT_TRUE(Known(l));
      p.path(l, rng);
      check(l.get(), p.name);
    }
  }
  GCompRef<OShowDevice> dev;
  UINT id = 0;
};

TEST_F(OccupancyTest, NewLayerIsKnownAndEmptyAndLockedWritesAreCovered) {
  GCompRef<OLayer> l = dev->CreateLayer(200, 130, C32, 1);
  ASSERT_TRUE(Known(l));
  ShowParam sp;
  l->GetShowParam(&sp, 0);
  for (uint32_t i = 0; i < sp.nBlockPitch * 3; ++i) EXPECT_EQ(sp.pBlocks[i], 0);
  EXPECT_EQ(l->MakeThumbnail(0), nullptr);
  std::mt19937 rng(5);
  Scatter(l, rng);
  EXPECT_FALSE(Known(l)) << "a lock may have written anywhere";
  EXPECT_NE(l->MakeThumbnail(0), nullptr) << "the thumbnail settles the map by a scan";
  EXPECT_TRUE(Known(l));
  ExpectCovered(l, "scan");
}

// Each path writes pixels, then the map must cover every non-zero block at every level; the
// whole-layer refresh afterwards must leave it known and still covering.
TEST_F(OccupancyTest, EveryWritingPathKeepsNonZeroBlocksMarked) {
  using Path = std::function<void(OLayer*, std::mt19937&)>;
  auto undoRedo = [&](OLayer* l, std::mt19937& rng, bool erase) {
    l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    l->PAT_MarkClear();
    RECT rc{-37 + 64, 21, -37 + 200, 21 + 130};
    l->PAT_MarkSet(&rc, nullptr);
    {
      LayerLock k;
      k.Lock(l, 0);
      for (int y = 0; y < 130; ++y)
        std::memset(k.Row(y) + size_t(64) * size_t(k.nPixelSize), erase ? 0 : int(rng() | 1),
                    size_t(136) * size_t(k.nPixelSize));
    }
    l->PAT_MarkMipRefresh();
    GCompRef<OData> before = l->PAT_Backup(TRUE);
    GCompRef<OData> after = l->PAT_Undo(before);
    l->PAT_MarkMipRefresh();
    GCompRef<OData> again = l->PAT_Redo(after);
    l->PAT_Turn(TRUE);
    l->PAT_Cancel();
    l->PAT_Deactivate();
  };
  const struct {
    const char* name;
    int format;
    Path path;
  } paths[] = {
      {"lock, no refresh", C32, [](OLayer* l, std::mt19937& r) { Scatter(l, r); }},
      {"lock, part refreshed", A16,
       [](OLayer* l, std::mt19937& r) {
         Scatter(l, r);
         RECT rc{-37, 21, 60, 90};
         l->MipRefresh(&rc);
       }},
      {"erased through a lock, refreshed", C32,
       [](OLayer* l, std::mt19937&) {
         {
           LayerLock k;
           k.Lock(l, 0);
           for (int y = 0; y < k.nHeight; ++y) std::memset(k.Row(y), 0, k.cbRow / 2);
         }
         l->MipRefresh(nullptr);
       }},
      {"transaction painted, undone, redone, turned, cancelled", C32,
       [&](OLayer* l, std::mt19937& r) { undoRedo(l, r, false); }},
      {"transaction erased, undone, redone", A16, [&](OLayer* l, std::mt19937& r) { undoRedo(l, r, true); }},
      {"cleanup", C32, [](OLayer* l, std::mt19937&) { l->Cleanup(); }},
      {"moved and refreshed", A16,
       [](OLayer* l, std::mt19937&) {
         l->SetPosition(6, -9, FALSE);
         RECT rc{6, -9, 100, 100};
         l->MipRefresh(&rc);
       }},
      // The levels keep the grid of the position they were refreshed at.
      {"moved by one, not refreshed", C32, [](OLayer* l, std::mt19937&) { l->SetPosition(-36, 22, FALSE); }},

      {"flips and turn", C32,
       [](OLayer* l, std::mt19937&) {
         l->FlipVertical();
         l->FlipHorizontal();
         l->Rotate180();
       }},
      {"invert", A16, [](OLayer* l, std::mt19937&) { l->ProcessInvert(); }},
      {"impair and back", C32,
       [](OLayer* l, std::mt19937&) {
         GCompRef<OData> d = l->ProcessImpair(40);
         l->ProcessImpairRestore(d);
       }},
      {"alpha restore", C32,
       [&](OLayer* l, std::mt19937& r) {
         GCompRef<OData> d = l->AlphaBackup();
         l->Cleanup();
         Scatter(l, r, 1);
         l->MipRefresh(nullptr);
         l->AlphaRestore(d);
       }},
      {"merge", C32,
       [&](OLayer* l, std::mt19937& r) {
         GCompRef<OLayer> src = Painted(C32, r);
         l->Merge(src);
       }},
      {"merge mask", C32,
       [&](OLayer* l, std::mt19937& r) {
         GCompRef<OLayer> mask = Painted(A16, r);
         l->MergeMask(mask);
       }},
  };
  RunPaths(paths, 11, [](OLayer* l, const char* name) {
    ExpectCovered(l, name);
    l->MipRefresh(nullptr);
    EXPECT_TRUE(Known(l));
    ExpectCovered(l, name);
  });
}

// Writers that mark the blocks they write before writing them (a stroke's dabs, the glass's
// merge on commit, undo and redo of a stroke), each followed by the refresh of the marked
// blocks the program does: the map stays known and covers every non-zero pixel.
TEST_F(OccupancyTest, WritersThatMarkFirstKeepTheMapKnown) {
  // Over two empty blocks and a part of the content's (Painted's layer sits at -37, 21).
  const RECT kStroke{-37 + 150, 21 + 100, -37 + 290, 21 + 170};
  // Random non-zero pixels over rc, as a stroke's dabs lay them: marked, then written.
  auto stroke = [&](OLayer* l, std::mt19937& rng) {
    l->PAT_MarkSet(&kStroke, nullptr);
    LayerLock k;
    k.Lock(l, LYR_LOCK_MARKED);
    for (LONG y = kStroke.top; y < kStroke.bottom; ++y)
      for (LONG x = kStroke.left; x < kStroke.right; ++x) {
        const uint32_t v = rng() | 0x01000100u;
        std::memcpy(k.Row(int(y - k.y)) + size_t(x - k.x) * size_t(k.nPixelSize), &v, size_t(k.nPixelSize));
      }
  };
  // A stroke as one transaction step, undone and maybe redone, each followed by the refresh.
  auto undone = [&](OLayer* l, std::mt19937& rng, bool redo) {
    l->PAT_PrepareActivate(PAT_F_BACKUP, nullptr);
    l->PAT_MarkClear();
    stroke(l, rng);
    l->PAT_MarkMipRefresh();
    GCompRef<OData> before = l->PAT_Backup(TRUE);
    l->PAT_Turn(FALSE);
    GCompRef<OData> after = l->PAT_Undo(before);
    l->PAT_MarkMipRefresh();
    if (redo) {
      GCompRef<OData> again = l->PAT_Redo(after);
      l->PAT_MarkMipRefresh();
    }
    l->PAT_Deactivate();
  };
  using Path = std::function<void(OLayer*, std::mt19937&)>;
  const struct {
    const char* name;
    int format;
    Path path;
  } paths[] = {
      {"stroke", C32,
       [&](OLayer* l, std::mt19937& r) {
         l->PAT_MarkClear();
         stroke(l, r);
         l->PAT_MarkMipRefresh();
       }},
      {"glass merged on commit", C32,
       [&](OLayer* l, std::mt19937& r) {
         GCompRef<OLayer> glass = dev->CreateLayer(l->GetWidth(), l->GetHeight(), A16, ++id);
         glass->SetPosition(-37, 21, FALSE);
         l->PAT_MarkClear();
         stroke(glass, r);
         glass->PAT_MarkCopyTo(l);
         glass->PAT_GlassMergeTo(l);
         l->PAT_MarkMipRefresh();
       }},
      {"stroke undone", A16, [&](OLayer* l, std::mt19937& r) { undone(l, r, false); }},
      {"stroke undone and redone", C32, [&](OLayer* l, std::mt19937& r) { undone(l, r, true); }},
  };
  RunPaths(paths, 17, [](OLayer* l, const char* name) {
    EXPECT_TRUE(Known(l));
    ExpectCovered(l, name);
  });
}

// One pixel in the last column of block 0 at an odd position feeds level-1 pixel 32 (cell 1);
// after a move by one that pixel stays on the old grid until a refresh reaches it, so cell 1
// must stay marked however the map was built since.
TEST_F(OccupancyTest, LevelPixelsOnAnEarlierGridStayCovered) {
  const struct {
    const char* name;
    int x;             // moved to
    bool partRefresh;  // at the new position, away from the pixel
    bool back;         // then moved back
  } cases[] = {
      {"moved by one", 2, false, false},
      {"moved by one, part refreshed", 2, true, false},
      {"moved by one, part refreshed, moved back", 2, true, true},
      {"moved by two, part refreshed", 3, true, false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    GCompRef<OLayer> l = dev->CreateLayer(300, 100, C32, ++id);
    l->SetPosition(1, 0, FALSE);
    {
      LayerLock lock;
      lock.Lock(l, 0);
      const uint32_t v = 0xFF102030u;
      std::memcpy(lock.Row(5) + 63 * 4, &v, 4);
    }
    l->MipRefresh(nullptr);
    ExpectCovered(l, "refreshed at 1");
    l->SetPosition(k.x, 0, FALSE);
    if (k.partRefresh) {
      RECT rc{k.x + 200, 0, k.x + 300, 100};
      l->MipRefresh(&rc);
    }
    if (k.back) l->SetPosition(1, 0, FALSE);
    ExpectCovered(l, k.name);
  }
}

// Layers made from others (record decode, backup restore, clip, conversion, split mask) cover
// their pixels too.
TEST_F(OccupancyTest, LayersMadeFromOthersCoverTheirPixels) {
  std::mt19937 rng(3);
  GCompRef<OLayer> colour = Painted(C32, rng), mask = Painted(A16, rng);
  std::vector<std::pair<const char*, GCompRef<OLayer>>> made;
  {
    GCompRef<OData> d = colour->Backup(nullptr);
    GCompRef<OLayer> r = NewEmpty();
    r->Restore(d, dev);
    made.emplace_back("restore", r);
  }
  RECT rc{-20, 30, 150, 170};
  made.emplace_back("clip", GCompRef<OLayer>(colour->Clip(&rc, 1)));
  made.emplace_back("convert", GCompRef<OLayer>(colour->Convert(1)));
  made.emplace_back("convert mask", GCompRef<OLayer>(mask->Convert(5)));
  made.emplace_back("split mask", GCompRef<OLayer>(colour->ProcessSplitMask()));
  for (auto& [name, l] : made) {
    ExpectCovered(l, name);
    l->MipRefresh(nullptr);
    ExpectCovered(l, name);
    EXPECT_TRUE(Known(l)) << name;
  }
}

// Random documents (modes, opacities, masks, nests, hidden layers, layers whose map is unsure)
// under random zooms, turns and flips: the view with empty blocks left out and without, bit
// for bit.
TEST_F(OccupancyTest, SkippingEmptyBlocksLeavesTheViewBitIdentical) {
  auto* device = static_cast<XShowDevice*>(dev.get());
  std::mt19937 rng(2024);
  for (int doc = 0; doc < 6; ++doc) {
    std::vector<GCompRef<OLayer>> layers;
    const int n = 3 + int(rng() % 6);
    for (int i = 0; i < n; ++i) {
      const int format = rng() % 3 ? C32 : A16;
      GCompRef<OLayer> l = dev->CreateLayer(100 + int(rng() % 400), 100 + int(rng() % 300), format, ++id);
      l->SetPosition(int(rng() % 200) - 100, int(rng() % 200) - 100, FALSE);
      Scatter(l, rng, 1 + int(rng() % 4));
      if (rng() % 5) l->MipRefresh(nullptr);  // else its map stays unsure
      if (rng() % 3 == 0) {
        // Moved off the grid its levels stand on, some of them refreshed on the new one.
        POINT at;
        l->GetPosition(&at, FALSE);
        l->SetPosition(at.x + 1 + int(rng() % 5), at.y - int(rng() % 4), FALSE);
        if (rng() % 2) {
          RECT rc{at.x, at.y, at.x + 70, at.y + 90};
          l->MipRefresh(&rc);
        }
      }
      Props(l)->SetValue(0, 20 + int(rng() % 81));
      Props(l)->SetValue(1, int(rng() % 8));
      uint32_t flags = 0;
      if (rng() % 4 == 0) flags |= LYR_FLAG_NEST;
      if (rng() % 7 == 0) flags |= LYR_FLAG_HIDDEN;
      l->SetFlags(flags);
      if (format == A16 && rng() % 2) Props(l)->SetValue(2, 1);
      layers.push_back(l);
    }
    for (int view = 0; view < 4; ++view) {
      ViewTransform v{};
      v.spaceWidth = 500;
      v.spaceHeight = 400;
      v.background = rng() & 0xFFFFFF;
      v.clientWidth = 300 + int(rng() % 40);
      v.clientHeight = 200 + int(rng() % 30);
      v.centreX = float(rng() % 500) + (rng() % 2 ? 0.5f : 0.0f);
      v.centreY = float(rng() % 400);
      const float scales[] = {1.0f, 0.5f, 0.3f, 0.13f, 2.0f, 0.71f, 0.25f, 0.5f};
      v.scale = scales[rng() % 8];
      v.angle = rng() % 3 ? 0.0f : float(rng() % 628) / 100.0f;
      v.flags = rng() % 4 == 0 ? VIEW_FLAG_FLIP : 0;
      std::vector<uint32_t> images[2];
      for (int skip = 0; skip < 2; ++skip) {
        device->SetBlockSkipping(skip == 1);
        ASSERT_TRUE(dev->DrawBegin(&v, TRUE));
        for (auto it = layers.rbegin(); it != layers.rend(); ++it) dev->DrawLayer(*it, 0, nullptr);
        dev->DrawEnd(nullptr, nullptr);
        LayerLock back;
        dev->GetBackBuffer(&back);
        for (int y = 0; y < back.nHeight; ++y) {
          const auto* row = reinterpret_cast<const uint32_t*>(back.Row(y));
          images[skip].insert(images[skip].end(), row, row + back.nWidth);
        }
      }
      ASSERT_EQ(images[0], images[1]) << "document " << doc << " view " << view << " scale " << v.scale;
    }
  }
}

}  // namespace
