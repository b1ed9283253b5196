// The document's view on the offscreen platform: it presents what the worker composes, pans
// under a right drag made of synthesised mouse events, zooms with Ctrl and the wheel, follows
// its scroll bars, draws XOR lines that a second drawing removes, and reports an error that
// escapes a handler, and opens a dropped document through the frame.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "SRC/GSystem.h"
#include "core/JobRunner.h"
#include "core/TavrikDoc.h"
#include "core/TavrikView.h"
#include "gui/DragAndDrop.h"
#include "gui/Recorder.h"
#include "platform/base/Files.h"
#include "platform/gui/Application.h"
#include "platform/gui/ErrorHook.h"
#include "platform/gui/Messages.h"

namespace {

constexpr int kSpaceW = 300, kSpaceH = 200;
constexpr uint32_t kLeftColour = 0xFFD04020;   // the left half of the layer (ARGB)
constexpr uint32_t kRightColour = 0xFF2050C0;  // the right half

using guitest::WaitFor;

// A tool that throws on a left press, as a failing tool would.
class ThrowingTool final : public COperation {
 public:
  UINT GetID() override { return ID_OPER_PAINT; }
  BOOL OnWndMsg(UINT msg, WPARAM, LPARAM, LRESULT*) override {
    if (msg == WM_LBUTTONDOWN) GTHROW(u"!tool failed");
    return FALSE;
  }
};

// A tool that takes every drop of files.
class DropTakingTool final : public COperation {
 public:
  UINT GetID() override { return ID_OPER_PAINT; }
  BOOL OnWndMsg(UINT msg, WPARAM, LPARAM, LRESULT*) override {
    drops += msg == WM_DROPFILES;
    return msg == WM_DROPFILES;
  }
  int drops = 0;
};

// The plug-ins of the build, loaded as the program loads them, once for all tests.
class ViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_being = GCreateSystem(u"ViewTests", nullptr, 0, &s_system);
    s_being->AddRef();
    s_system->LoadComponents(u"System/*.so");
  }
  static void TearDownTestSuite() {
    s_being->Release();
    s_being = nullptr;
    s_system = nullptr;
  }

  void SetUp() override {
    OComponent* c = s_system->NewObj(u"XShowDevice", nullptr);
    ASSERT_TRUE(c) << "the plug-ins of bin/System are needed";
    device = static_cast<OShowDevice*>(c->GetInterface(u"OShowDevice"));
    doc = std::make_unique<CTavrikDoc>(s_system, device, &view, &runner, &size);
    top.resize(440, 330);
    ASSERT_TRUE(view.Create(&top, doc.get(), RECT{0, 0, 420, 320}));
    top.show();
    ASSERT_TRUE(WaitFor([&] { return View().clientWidth > 0 && View().clientHeight > 0; }));
    // One colour layer over the whole space: red on the left, blue on the right.
    ASSERT_TRUE(doc->NewDocument(CTavrikDoc::myNEW_COLOR));
    OLayer* layer = doc->GetListLayer()->GetLayer(0);
    {
      LayerLock lock;
      ASSERT_TRUE(lock.Lock(layer, 0));
      for (int y = 0; y < kSpaceH; ++y)
        for (int x = 0; x < kSpaceW; ++x)
          reinterpret_cast<uint32_t*>(lock.Row(y))[x] = x < kSpaceW / 2 ? kLeftColour : kRightColour;
    }
    layer->MipRefresh(nullptr);
  }
  void TearDown() override {
    view.DestroyWindow();
    doc.reset();
    device.Release();
  }

  CPaintSpace* Space() { return doc->GetPaintSpace(); }
  ViewTransform& View() { return *Space()->m_pTransform; }
  uint32_t Pixel(int x, int y) {
    GAutoLock lock(Space()->GetDrawLock());
    return view.GetImage()->Pixel(x, y);
  }
  // The client column where the red and blue halves meet on row y, or -1.
  int Seam(int y) {
    GAutoLock lock(Space()->GetDrawLock());
    gui::ScreenImage* image = view.GetImage();
    for (int x = 1; x < image->Width(); ++x)
      if (image->Pixel(x - 1, y) == kLeftColour && image->Pixel(x, y) == kRightColour) return x;
    return -1;
  }
  // Composes on the worker and waits for it.
  void ComposeInWorker() {
    ASSERT_TRUE(Space()->RefreshInWorker(nullptr));
    Space()->GetWorker()->Wait(FALSE);
  }
  void Mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QWidget* w = view.GetWidget();
    QMouseEvent ev(type, at, w->mapToGlobal(at), button, buttons, mods);
    QCoreApplication::sendEvent(w, &ev);
  }

  static CSystem* s_system;
  static OBeing* s_being;
  GCompRef<OShowDevice> device;
  CHeadlessJobRunner runner;
  NewSpaceSize size{kSpaceW, kSpaceH};
  QWidget top;
  CTavrikView view;
  std::unique_ptr<CTavrikDoc> doc;
};

CSystem* ViewTest::s_system = nullptr;
OBeing* ViewTest::s_being = nullptr;

TEST_F(ViewTest, PresentsWhatTheWorkerComposes) {
  const int cx = View().clientWidth / 2, cy = View().clientHeight / 2;
  {
    GAutoLock lock(Space()->GetDrawLock());
    view.GetImage()->Fill(0x123456);
  }
  ComposeInWorker();
  // The space sits in the middle of the view at scale 1; the halves meet at its centre.
  EXPECT_EQ(Pixel(cx - 10, cy), kLeftColour);
  EXPECT_EQ(Pixel(cx + 10, cy), kRightColour);
  EXPECT_EQ(Seam(cy), cx);
  EXPECT_TRUE(Space()->IsCompositeValid());
  // And the widget shows the image as it is.
  const QImage shown = view.GetWidget()->grab().toImage();
  EXPECT_EQ(shown.pixel(cx - 10, cy), kLeftColour);
  EXPECT_EQ(shown.pixel(cx + 10, cy), kRightColour);
}

TEST_F(ViewTest, RightDragPansTheView) {
  ComposeInWorker();
  const int cy = View().clientHeight / 2;
  const int seam = Seam(cy);
  ASSERT_GT(seam, 0);
  const float centreX = View().centreX, centreY = View().centreY;

  Mouse(QEvent::MouseButtonPress, QPointF(100, 100), Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(gui::GetCapture(), view.GetSafeHwnd());
  Mouse(QEvent::MouseMove, QPointF(130, 110), Qt::NoButton, Qt::RightButton);
  Mouse(QEvent::MouseMove, QPointF(140, 112), Qt::NoButton, Qt::RightButton);
  Mouse(QEvent::MouseButtonRelease, QPointF(140, 112), Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(gui::GetCapture(), nullptr);

  EXPECT_FLOAT_EQ(View().centreX, centreX - 40);
  EXPECT_FLOAT_EQ(View().centreY, centreY - 12);
  // The picture moved with the mouse, in the screen image.
  EXPECT_EQ(Seam(cy + 12), seam + 40);
}

TEST_F(ViewTest, CtrlWheelZoomsAndScrollBarsScroll) {
  const QPointF at(View().clientWidth / 2.0, View().clientHeight / 2.0);
  Mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
  QWidget* w = view.GetWidget();
  QWheelEvent wheel(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                    Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(w, &wheel);
  EXPECT_FLOAT_EQ(View().scale, 2.0f);

  // The bars show the space's range; a step of the horizontal bar moves the view right.
  SCROLLINFO si{sizeof(SCROLLINFO), SIF_RANGE | SIF_PAGE | SIF_POS, 0, 0, 0, 0, 0};
  ASSERT_TRUE(view.GetScrollInfo(SB_HORZ, &si));
  EXPECT_EQ(si.nMin, 0);
  EXPECT_EQ(si.nMax, SPACE_SCROLL_RANGE);
  EXPECT_GT(si.nPage, 0u);
  EXPECT_LT(si.nPage, UINT(SPACE_SCROLL_RANGE));
  const float x = View().centreX;
  const QList<QScrollBar*> bars = w->findChildren<QScrollBar*>();
  ASSERT_EQ(bars.size(), 2);
  for (QScrollBar* bar : bars)
    if (bar->orientation() == Qt::Horizontal) bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_GT(View().centreX, x);
  ASSERT_TRUE(view.GetScrollInfo(SB_HORZ, &si));
  EXPECT_EQ(si.nPos, Space()->GetScrollBar(SB_HORZ).nPos);
}

TEST_F(ViewTest, XorLinesDrawnTwiceLeaveTheImage) {
  ComposeInWorker();
  std::vector<uint32_t> before;
  {
    GAutoLock lock(Space()->GetDrawLock());
    gui::ScreenImage* image = view.GetImage();
    before.assign(image->Bits(), image->Bits() + size_t(image->Pitch()) * size_t(image->Height()));
  }
  for (int pass = 0; pass < 2; ++pass) {
    gui::DeviceContext* dc = view.GetViewDC();
    ASSERT_TRUE(dc);
    dc->SetROP2(gui::R2_XORPEN);
    dc->SetPen(gui::PS_SOLID, 0x808080);
    dc->MoveTo(5, 5);
    dc->LineTo(200, 150);
    dc->MoveTo(-20, 40);
    dc->LineTo(600, 41);
    if (pass == 0) {
      gui::ScreenImage* image = view.GetImage();
      EXPECT_FALSE(std::equal(before.begin(), before.end(), image->Bits())) << "the lines show";
    }
    view.ReleaseViewDC(dc);
  }
  GAutoLock lock(Space()->GetDrawLock());
  gui::ScreenImage* image = view.GetImage();
  EXPECT_TRUE(std::equal(before.begin(), before.end(), image->Bits()));
}

TEST_F(ViewTest, RepaintsAskedFromAnotherThreadArriveByPost) {
  int frameRepaints = 0;
  view.SetFrameCallbacks([&] { ++frameRepaints; }, nullptr);
  ASSERT_TRUE(WaitFor([&] { return !view.GetUpdateRect(nullptr); }));
  std::thread worker([&] {
    view.InvalidateView(FALSE);
    view.InvalidateView(FALSE);
    view.InvalidateFrame();
  });
  worker.join();
  EXPECT_FALSE(view.GetUpdateRect(nullptr));
  EXPECT_EQ(frameRepaints, 0);
  gui::RunPostedMessages();
  EXPECT_TRUE(view.GetUpdateRect(nullptr));
  EXPECT_EQ(frameRepaints, 1);
  // On the UI thread at once.
  view.InvalidateFrame();
  EXPECT_EQ(frameRepaints, 2);
}

TEST_F(ViewTest, AnErrorEscapingAHandlerIsReportedAndTheViewGoesOn) {
  std::vector<std::u16string> reported;
  gui::SetErrorHandler([&](GError* e) { reported.emplace_back(e->GetCondition()); });
  auto* tool = new ThrowingTool();
  Space()->AddOperator(tool);
  Space()->SelectOperator(ID_OPER_PAINT);
  ASSERT_EQ(Space()->GetCurOperator(), tool);
  EXPECT_EQ(view.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MakePointLParam(10, 10)), 0);
  gui::SetErrorHandler(nullptr);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], u"!tool failed");
  // Other messages still reach the space.
  EXPECT_EQ(view.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200)), 0);
  EXPECT_EQ(View().clientWidth, 300);
}

TEST_F(ViewTest, ADroppedDocumentOpensThroughTheFrameOtherFilesDoNot) {
  std::vector<std::u16string> opened;
  view.SetOpenDocumentCallback([&](const std::u16string& path) { opened.push_back(path); });
  auto drop = [&](const QString& path) {
    EXPECT_TRUE(guitest::DragAndDrop(view.GetWidget(), {QUrl::fromLocalFile(path)}, QPointF(20, 20)));
    gui::RunPostedMessages();
  };
  for (const char16_t* path : {u"/tmp/图层/画.kelv", u"/tmp/Old.KELV", u"/tmp/photo.png", u"/tmp/kelv"})
    drop(QString::fromUtf16(path));
  EXPECT_EQ(opened, (std::vector<std::u16string>{u"/tmp/图层/画.kelv", u"/tmp/Old.KELV"}));
  // The current tool sees the drop first; what it takes opens nothing.
  auto* tool = new DropTakingTool();
  Space()->AddOperator(tool);
  Space()->SelectOperator(ID_OPER_PAINT);
  ASSERT_EQ(Space()->GetCurOperator(), tool);
  drop(QStringLiteral("/tmp/more.kelv"));
  EXPECT_EQ(tool->drops, 1);
  EXPECT_EQ(opened.size(), 2u);
}

}  // namespace
