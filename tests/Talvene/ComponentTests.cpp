// The component: its interface and lifetime, the render job it prepares and how the worker
// runs it, the caption, the layer's colour and mode, moving the lattice, and the error trails.
#include <gtest/gtest.h>

#include <cstring>

#include "Morvane.h"
#include "TalveneFixture.h"
#include "XWorker.h"
#include "odata/GText.h"

namespace {

using namespace talvene_test;

class ComponentTest : public TalveneTest {
 protected:
  ComponentTest() {
    sys.Register(u"Morvane", GCreateComponent<Morvane>);
    sys.Register(u"XWorker", GCreateComponent<XWorker>);
    block = GNewData(4096);
    src.Fill([](int x, int y) { return 0xFF000000u | uint32_t(x * 9) << 8 | uint32_t(y * 11); });
  }
  GCompRef<OLayer> NewLayer(int w, int h, int format) {
    GCompRef<OLayer> l = static_cast<OLayer*>(sys.NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
    l->Initialize(nullptr, w, h, format, 1);
    return l;
  }

  GCompRef<OData> block;
  Picture src{24, 18, 4};
};

TEST_F(ComponentTest, InterfaceAndLifetime) {
  EXPECT_EQ(distort->GetInterface(u"ODistort"), static_cast<void*>(distort.get()));
  EXPECT_EQ(distort->GetInterface(u"GSystem"), static_cast<void*>(&sys));
  EXPECT_NE(distort->GetInterface(u"m_xBeing"), nullptr);
  EXPECT_EQ(distort->GetInterface(u"OLasso"), nullptr);
  EXPECT_EQ(sys.Entry(u"Talvene")->Refs(), 1);
  distort.Release();
  EXPECT_EQ(sys.Entry(u"Talvene")->Refs(), 0);
}

TEST_F(ComponentTest, ImpressWithAJobOnlyPreparesIt) {
  Picture dest(40, 30, 4, -3, 2), direct(40, 30, 4, -3, 2);
  DistortArgs args = BulgeArgs(src, 5, 5, 4, 3);
  JobRecord job{block, u"caller", 0, -1, nullptr, nullptr};
  EXPECT_EQ(distort->Impress(&dest.rec, &args, &job), 1);
  EXPECT_EQ(job.object, static_cast<void*>(Impl()));
  EXPECT_NE(job.proc, nullptr);
  EXPECT_EQ(job.kind, 6);
  EXPECT_EQ(job.result, 0);
  EXPECT_EQ(std::u16string(job.name), u"unknown");
  // The destination's head and pixels, then the record whole.
  ASSERT_EQ(block->GetPosition(), Talvene::kJobArgBytes);
  const BYTE* at = block->GetBuffer();
  EXPECT_EQ(std::memcmp(at, static_cast<const LayerInfo*>(&dest.rec), sizeof(LayerInfo)), 0);
  BYTE* pixels;
  std::memcpy(&pixels, at + sizeof(LayerInfo), sizeof pixels);
  EXPECT_EQ(pixels, dest.rec.pPixels);
  EXPECT_EQ(std::memcmp(at + sizeof(LayerInfo) + sizeof pixels, &args, sizeof args), 0);
  EXPECT_EQ(dest.Pixels(), std::vector<uint32_t>(40 * 30, 0u));

  // Run later, with the caller's record changed meanwhile, it draws what a direct render does.
  args.Point(1, 1).x += 100;
  Control control;
  EXPECT_EQ(job.proc(job.object, &job, &control), 1);
  EXPECT_EQ(Render(direct, BulgeArgs(src, 5, 5, 4, 3)), 1);
  EXPECT_EQ(dest.store, direct.store);
  EXPECT_GT(control.total, 1);
  EXPECT_EQ(control.progress, control.total - 1);
}

TEST_F(ComponentTest, CaptionIsGivenOnlyToAControlWithout) {
  Picture dest(30, 30, 4);
  DistortArgs args = IdentityArgs(src, 3);
  JobRecord job{block, u"caller", 0, -1, nullptr, nullptr};
  JobControl bare, captioned;
  GText* mine = GNewText(u"mine");
  mine->AddRef();
  captioned.pObj = mine;
  for (JobControl* c : {&bare, &captioned}) {
    distort->Impress(&dest.rec, &args, &job);
    EXPECT_EQ(job.proc(job.object, &job, c), 1);
  }
  auto* given = dynamic_cast<GText*>(bare.pObj);
  ASSERT_NE(given, nullptr);
  EXPECT_EQ(std::u16string(given->GetText()), u"正在投放图像");
  EXPECT_EQ(given->GetCapacity(), 128u);
  EXPECT_EQ(captioned.pObj, mine);
  EXPECT_EQ(std::u16string(mine->GetText()), u"mine");
  EXPECT_EQ(given->Release(), 0);
  mine->Release();
}

TEST_F(ComponentTest, WorkerRunsTheJobAndReportsItsFailure) {
  GCompRef<OWorker> worker = static_cast<OWorker*>(sys.NewObj(u"XWorker", nullptr)->GetInterface(u"OWorker"));
  Picture dest(30, 25, 4), direct(30, 25, 4);
  DistortArgs args = BulgeArgs(src, 2, 2, -3, 4);
  JobRecord job{block, u"caller", 0, -1, nullptr, nullptr};
  Control control;
  distort->Impress(&dest.rec, &args, &job);
  ASSERT_EQ(worker->Launch(&job, &control), 1);
  worker->Wait(FALSE);
  EXPECT_EQ(job.result, 1);
  EXPECT_EQ(control.flags & JOB_FAILED, 0u);
  EXPECT_EQ(Render(direct, args), 1);
  EXPECT_EQ(dest.store, direct.store);

  // A record the mesh refuses fails the job; the worker reports the error.
  args.Density.y = 5;
  Control failing;
  distort->Impress(&dest.rec, &args, &job);
  ASSERT_EQ(worker->Launch(&job, &failing), 1);
  worker->Wait(FALSE);
  EXPECT_NE(failing.flags & JOB_FAILED, 0u);
  ASSERT_EQ(sys.ErrorCount(), 1u);
  EXPECT_NE(sys.ErrorText(0).find(u"Density.y?"), std::u16string::npos);
  EXPECT_NE(sys.ErrorText(0).find(u"Talvene ::____Impress()"), std::u16string::npos);
}

TEST_F(ComponentTest, LayerColourAndModeGoIntoTheRecordAndThePreview) {
  struct Case {
    int format, mode;
    int wantPreview;
  };
  for (const Case& c : {Case{OLayer::myFORMAT_A16, 3, 3}, Case{OLayer::myFORMAT_C32, 6, 14},
                        Case{OLayer::myFORMAT_C32, 0, 8}}) {
    GCompRef<OLayer> layer = NewLayer(8, 8, c.format);
    layer->SetColor(RGB(10, 20, 30));
    auto* props = static_cast<OProperty*>(layer->GetInterface(u"OProperty"));
    UINT alpha = 0, mode = 0;
    ASSERT_NE(props->FindByName(&alpha, u"ALPHA"), nullptr);
    ASSERT_NE(props->FindByName(&mode, u"MODE"), nullptr);
    props->SetValue(alpha, 40);
    props->SetValue(mode, c.mode);
    DistortArgs args = IdentityArgs(src, 3);
    args.nPixelSize = layer->GetPixelSize();
    distort->ShowRefreshLayerColorMode(&args, layer);
    EXPECT_EQ(args.dwColor, layer->GetColor(nullptr, nullptr));
    EXPECT_EQ(args.dwColor, 0x661E140Au);  // opacity 40 * 255 / 100, red low
    EXPECT_EQ(args.nMode, c.mode);
    EXPECT_EQ(Impl()->GetPreviewMode(), c.wantPreview);
    EXPECT_EQ(Impl()->GetPreviewColour(), args.dwColor);
  }
  DistortArgs args = IdentityArgs(src, 3);
  std::u16string trail;
  EXPECT_EQ(Thrown([&] { distort->ShowRefreshLayerColorMode(&args, nullptr); }, &trail), u"!poLayer");
  EXPECT_NE(trail.find(u"Talvene ::ShowRefreshLayerColorMode() 1"), std::u16string::npos);
}

TEST_F(ComponentTest, OffsetMovesTheUsedPointsOnly) {
  struct Case {
    int dx, dy;
  };
  for (const Case& c : {Case{3, 3}, Case{2, 4}, Case{4, 2}}) {
    DistortArgs args{};
    args.Density = {c.dx, c.dy};
    for (int k = 0; k < 16; ++k) args.lattice[k] = {float(k), float(-k)};
    distort->Offset(&args, 2.5f, -1);
    for (int r = 0; r < 4; ++r)
      for (int q = 0; q < 4; ++q) {
        const int k = r * 4 + q;
        const bool used = r < c.dy && q < c.dx;
        EXPECT_EQ(args.lattice[k].x, float(k) + (used ? 2.5f : 0)) << c.dx << " x " << c.dy << " point " << k;
        EXPECT_EQ(args.lattice[k].y, float(-k) - (used ? 1 : 0));
      }
  }
}

}  // namespace
