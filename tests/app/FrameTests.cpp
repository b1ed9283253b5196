// The main frame on the offscreen platform: its first layout and the placement it keeps,
// the status size pane with the space size dialog, the layer, colour and option bars, and a
// picture of the window with the sample open (in this process and from the program itself).
#include <QDockWidget>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMainWindow>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QToolBar>
#include <algorithm>

#include <QContextMenuEvent>

#include "AppHarness.h"
#include "core/TavrikView.h"
#include "frame/Bars.h"
#include "frame/ColorPicker.h"
#include "frame/DockMessages.h"
#include "frame/LayerBar.h"
#include "frame/Resource.h"
#include "panels/MyListLayer.h"
#include "platform/gui/Dc.h"

namespace {

// Distinct colours in a rectangle of an image.
int DistinctColours(const QImage& image, const QRect& rc) {
  QSet<QRgb> seen;
  for (int y = rc.top(); y <= rc.bottom(); y += 2)
    for (int x = rc.left(); x <= rc.right(); x += 2) seen.insert(image.pixel(x, y));
  return int(seen.size());
}

class FrameTest : public AppTest {
 protected:
  FrameTest() { show = true; }
  QMainWindow* Window() { return Frame()->GetMainWindow(); }
  void Tick() { Frame()->SendMessage(WM_TIMER, CMainFrame::kTimerId, 0); }
  OLayer* AddMask(int w, int h, const char16_t* name) {
    GCompRef<OLayer> layer = app->GetShowDevice()->CreateLayer(w, h, OLayer::myFORMAT_A16, List()->NewLayerID());
    layer->SetName(name);
    List()->AddLayer(0, layer);
    return layer;
  }
};

TEST_F(FrameTest, TheFirstLayoutAndThePlacementTheFrameKeeps) {
  ASSERT_TRUE(Start());
  QRect screen = QGuiApplication::primaryScreen()->geometry();
  const int sw = screen.width(), sh = screen.height();
  // The middle half of the screen, unless the bars need more room than that.
  const QSize least = Window()->minimumSizeHint();
  EXPECT_EQ(Window()->geometry(),
            QRect(sw / 4, sh / 4, std::max(sw / 2, least.width()), std::max(sh / 2, least.height())));
  for (UINT id : {ID_BAR_MAIN, ID_BAR_OPERATION, ID_BAR_OPTION})
    EXPECT_EQ(Window()->toolBarArea(Frame()->GetToolBar(id)), Qt::TopToolBarArea) << id;
  for (UINT id : {ID_BAR_VIEW, ID_BAR_COLOR})
    EXPECT_EQ(Window()->toolBarArea(Frame()->GetToolBar(id)), Qt::BottomToolBarArea) << id;
  QDockWidget* layers = Frame()->GetDock(ID_BAR_LAYER);
  QDockWidget* brushes = Frame()->GetDock(ID_BAR_BRUSH);
  EXPECT_EQ(Window()->dockWidgetArea(layers), Qt::RightDockWidgetArea);
  EXPECT_EQ(Window()->dockWidgetArea(brushes), Qt::RightDockWidgetArea);
  EXPECT_EQ(layers->windowTitle(), QStringLiteral("图层"));
  EXPECT_EQ(brushes->windowTitle(), QStringLiteral("画笔"));
  EXPECT_EQ(layers->width(), 208);
  EXPECT_LT(brushes->y(), layers->y() + layers->height() + 8) << "brushes below the layers";
  EXPECT_GT(layers->height(), brushes->height());
  EXPECT_LE(brushes->height(), VB_COLLAPSED_CY) << "the brush bar starts collapsed to its title row";

  // The user moves the window, widens the layer bar and hides the brush bar.
  Window()->setGeometry(QRect(30, 40, 700, 600));
  Window()->resizeDocks({layers}, {260}, Qt::Horizontal);
  ASSERT_TRUE(Run(ID_BAR_BRUSH));
  QCoreApplication::processEvents();
  Stop();
  EXPECT_EQ(gui::Settings::ReadInt(u"windows", u"layer.cx", 0, 0, 10000), 260);
  EXPECT_EQ(gui::Settings::ReadInt(u"windows", u"main.bMaximized", 9, 0, 9), 0);

  ASSERT_TRUE(Start());
  QCoreApplication::processEvents();
  EXPECT_EQ(Window()->geometry(), QRect(30, 40, 700, 600));
  EXPECT_EQ(Frame()->GetDock(ID_BAR_LAYER)->width(), 260);
  EXPECT_TRUE(Frame()->GetDock(ID_BAR_BRUSH)->isHidden());
  EXPECT_EQ(Update(ID_BAR_BRUSH).m_nCheck, 0);
}

TEST_F(FrameTest, TheStatusPaneShowsTheSpaceSizeAndTheSizeDialogTrimsAboutTheCentre) {
  ASSERT_TRUE(Start());
  NewDocument(CTavrikDoc::myNEW_MASK, 100, 80);
  Tick();
  EXPECT_EQ(Frame()->GetPaneText(2), u"100 x 80");
  EXPECT_EQ(Frame()->GetPaneText(1), u"100%");

  onDialog = [](QDialog* d) {
    auto* size = dynamic_cast<CDlgSpaceSize*>(d);
    if (!size) return int(QDialog::Rejected);
    EXPECT_EQ(size->GetWidth(), 100);
    EXPECT_EQ(size->GetHeight(), 80);
    size->SetValues(60, 50);
    return int(QDialog::Accepted);
  };
  ASSERT_TRUE(Run(ID_SPACE_RESIZE));
  EXPECT_EQ(Space()->GetWidth(), 60u);
  EXPECT_EQ(Space()->GetHeight(), 50u);
  POINT pos;
  List()->GetLayer(0)->GetPosition(&pos, FALSE);
  EXPECT_EQ(pos.x, -20);
  EXPECT_EQ(pos.y, -15);
  const char16_t* label = nullptr;
  ASSERT_EQ(Space()->GetUndoStore()->CopyStepList(&label, 1), 1u);
  EXPECT_EQ(std::u16string(label), u"空间>尺寸");
  Tick();
  EXPECT_EQ(Frame()->GetPaneText(2), u"60 x 50");

  // The same size again: nothing to undo.
  onDialog = [](QDialog*) { return int(QDialog::Accepted); };
  ASSERT_TRUE(Run(ID_SPACE_RESIZE));
  EXPECT_EQ(Space()->GetUndoStore()->GetStepCount(), 1u);
  ASSERT_TRUE(Run(ID_EDIT_UNDO));
  Tick();
  EXPECT_EQ(Frame()->GetPaneText(2), u"100 x 80");
}

TEST_F(FrameTest, TheLayerBarListsTheLayersAndItsEyeShowsAndHidesThem) {
  ASSERT_TRUE(Start());
  NewDocument(CTavrikDoc::myNEW_COLOR, 64, 48);
  CLayerBar* bar = Frame()->GetLayerBar();
  ASSERT_EQ(bar->RowCount(), 1);
  EXPECT_EQ(bar->RowName(0), u"彩色图层");
  OLayer* mask = AddMask(32, 32, u"遮罩");
  ASSERT_EQ(bar->RowCount(), 2) << "the bar follows the list";
  EXPECT_EQ(bar->RowName(0), u"遮罩");
  EXPECT_TRUE(bar->RowVisible(0));

  // A click on the eye of the top row, as the mouse makes it.
  QWidget* widget = bar->GetWidget();
  ASSERT_NE(widget, nullptr);
  ASSERT_TRUE(widget->isVisible());
  auto click = [&](int column) {
    const QPoint at(bar->GetColumnLeft(column) + bar->GetColumnWidth(column) / 2, CLayerBar::kRowHeight / 2);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(widget, &event);
    }
  };
  click(CLayerBar::COL_HIDDEN);
  EXPECT_TRUE(mask->GetFlags() & LYR_FLAG_HIDDEN);
  EXPECT_FALSE(bar->RowVisible(0));
  EXPECT_FALSE(Space()->IsCompositeValid()) << "the view composes again";
  EXPECT_EQ(List()->GetCurSel(), 1) << "the eye does not select";
  bar->ToggleVisibility(0);
  EXPECT_FALSE(mask->GetFlags() & LYR_FLAG_HIDDEN);

  // A click elsewhere on a row selects its layer; the list's own selection shows in the bar.
  click(CLayerBar::COL_NAME);
  EXPECT_EQ(List()->GetCurSel(), 0);
  List()->SetCurSelect(1);
  EXPECT_EQ(bar->CurrentRow(), 1);
  { GCompRef<OLayer> gone; gone.m_ptr = List()->DetachLayer(0); }
  EXPECT_EQ(bar->RowCount(), 1);
}

TEST_F(FrameTest, TheColourBarShowsTheColoursAndAClickMakesOneCurrent) {
  ASSERT_TRUE(Start());
  CColorBarView* view = Frame()->GetColorBarView();
  CColorBar* colours = Doc()->GetColorBar();
  ASSERT_EQ(view->GetModel(), colours);
  for (int slot = 0; slot <= COLORBAR_RECENT; ++slot) EXPECT_EQ(view->SlotAt(view->SlotRect(slot).center()), slot);

  const QPoint at = view->SlotRect(5).center();
  QMouseEvent press(QEvent::MouseButtonPress, at, view->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(view, &press);
  EXPECT_EQ(colours->GetColor(0), colours->GetColor(5));

  // The current swatch opens the colour picker; a new colour becomes current and the newest
  // recent.
  view->Choose(0);
  CColorPicker* picker = view->GetPicker();
  ASSERT_TRUE(picker && picker->IsWindowVisible());
  picker->SetColor(RgbToHsv(0x123456));
  picker->Choose();
  const COLORREF chosen = HsvToRgb(RgbToHsv(0x123456));
  EXPECT_EQ(colours->GetColor(0), chosen);
  EXPECT_EQ(colours->GetColor(1), chosen);
  EXPECT_EQ(Space()->GetColor(0), chosen) << "the space paints with it";

  // A right press on a colour belongs to the colour bar: the frame's menu of bars, which a
  // right press beside the colours opens, stays shut.
  for (const bool onColour : {true, false}) {
    const QPoint p = onColour ? view->SlotRect(0).center() : QPoint(view->width() - 2, 1);
    ASSERT_EQ(view->SlotAt(p) >= 0, onColour);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, p, view->mapToGlobal(p));
    QCoreApplication::sendEvent(view, &menu);
    QWidget* popup = QApplication::activePopupWidget();
    EXPECT_EQ(popup == nullptr, onColour);
    if (popup) popup->close();
  }
}

TEST_F(FrameTest, TheOptionBarShowsTheCurrentToolsControls) {
  ASSERT_TRUE(Start());
  gui::GWindow* bar = gui::GWindow::FromHandle(Frame()->GetOptionWindow());
  ASSERT_NE(bar, nullptr);
  gui::GWindow a, b;
  ASSERT_TRUE(a.Create(bar, RECT{0, 0, 40, 20}));
  ASSERT_TRUE(b.Create(bar, RECT{0, 0, 60, 20}));
  const HWND both[] = {a.GetSafeHwnd(), b.GetSafeHwnd(), nullptr};
  bar->SendMessage(WM_MYSETOPTIONS, WPARAM(both), 2);
  auto* options = dynamic_cast<COptionBar*>(bar);
  ASSERT_NE(options, nullptr);
  EXPECT_EQ(options->Shown(), (std::vector<HWND>{a.GetSafeHwnd(), b.GetSafeHwnd()}));
  EXPECT_TRUE(a.GetWidget()->isVisible());
  EXPECT_LT(a.GetWidget()->x(), b.GetWidget()->x()) << "lined up in order";
  const HWND one[] = {b.GetSafeHwnd(), nullptr};
  bar->SendMessage(WM_MYSETOPTIONS, WPARAM(one), 1);
  EXPECT_FALSE(a.GetWidget()->isVisible()) << "the previous tool's control goes";
  EXPECT_TRUE(b.GetWidget()->isVisible());
  bar->SendMessage(WM_MYSETOPTIONS, 0, 0);
  EXPECT_TRUE(options->Shown().empty());
  EXPECT_FALSE(b.GetWidget()->isVisible());
}

TEST_F(FrameTest, APictureOfTheWindowWithTheSampleOpen) {
  TavrikStartup startup;
  startup.strProgramFolder = plat::FromUtf8(TEST_PLUGIN_DIR "/..");
  ASSERT_TRUE(plat::FileExists(startup.strProgramFolder + u"/sample/0.kelv")) << "the build makes the sample";
  ASSERT_TRUE(Start(startup));
  const auto& journal = app->GetStartupJournal();
  ASSERT_TRUE(std::any_of(journal.begin(), journal.end(), [](const std::u16string& s) { return s.rfind(u"sample ", 0) == 0; }));
  EXPECT_EQ(journal.back(), u"show");
  const std::u16string path = plat::FromUtf8(TEST_OUTPUT_DIR "/app_screenshot.png");
  ASSERT_TRUE(Frame()->SaveScreenshot(path, 1280, 800, 20000));

  const QImage shot(QString::fromStdU16String(path));
  ASSERT_EQ(shot.size(), QSize(1280, 800));
  // The view shows the composed picture, as the screen image holds it.
  QWidget* viewWidget = Frame()->GetView()->GetWidget();
  const QRect viewRect(viewWidget->mapTo(Window(), QPoint(0, 0)), viewWidget->size());
  EXPECT_GT(viewRect.width(), 700);
  EXPECT_GT(viewRect.height(), 500);
  EXPECT_GT(DistinctColours(shot, viewRect.adjusted(20, 20, -40, -40)), 200) << "a picture, not a blank";
  {
    GAutoLock lock(Space()->GetDrawLock());
    gui::ScreenImage* image = Frame()->GetView()->GetImage();
    for (QPoint p : {QPoint(100, 100), QPoint(viewRect.width() / 2, viewRect.height() / 2)})
      EXPECT_EQ(shot.pixel(viewRect.topLeft() + p) & 0xFFFFFF, image->Pixel(p.x(), p.y()) & 0xFFFFFF);
  }
  // The bars around it.
  for (UINT id : {ID_BAR_MAIN, ID_BAR_OPERATION, ID_BAR_VIEW, ID_BAR_COLOR}) {
    QToolBar* bar = Frame()->GetToolBar(id);
    EXPECT_TRUE(bar->isVisible()) << id;
    EXPECT_GT(DistinctColours(shot, QRect(bar->mapTo(Window(), QPoint(0, 0)), bar->size())), 8) << id;
  }
  EXPECT_TRUE(Frame()->GetDock(ID_BAR_LAYER)->isVisible());
  EXPECT_EQ(Frame()->GetLayerBar()->RowCount(), List()->GetCount());
  EXPECT_GE(List()->GetCount(), 3);
  const std::u16string size = plat::Widen(std::to_string(Space()->GetWidth()) + " x " + std::to_string(Space()->GetHeight()));
  EXPECT_EQ(Frame()->GetPaneText(2), size);
}

TEST_F(FrameTest, TheProgramWritesAPictureOfItselfWhenAsked) {
  const QString path = QString::fromUtf8(TEST_OUTPUT_DIR "/program_screenshot.png");
  QFile::remove(path);
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  program.setProcessEnvironment(env);
  program.start(QString::fromUtf8(TEST_PROGRAM), {QStringLiteral("--screenshot"), path});
  ASSERT_TRUE(program.waitForFinished(60000));
  ASSERT_EQ(program.exitStatus(), QProcess::NormalExit);
  ASSERT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  const QImage shot(path);
  ASSERT_EQ(shot.size(), QSize(1280, 800));
  EXPECT_GT(DistinctColours(shot, QRect(200, 200, 600, 400)), 200);
}

}  // namespace
