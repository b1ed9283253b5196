#include "MainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <vector>

#include "SRC/GSystem.h"
#include "core/Application.h"
#include "core/PaintSpace.h"
#include "core/TavrikDoc.h"
#include "core/TavrikView.h"
#include "frame/Bars.h"
#include "frame/DlgCrop.h"
#include "frame/ColorWheel.h"
#include "frame/Dialogs.h"
#include "frame/DockBar.h"
#include "frame/DocCommands.h"
#include "frame/FlowerWnd.h"
#include "frame/HistoryDropDown.h"
#include "frame/Icons.h"
#include "frame/FrameLayerAsk.h"
#include "frame/LayerBar.h"
#include "frame/WindowPlacement.h"
#include "frame/LayerThumbPopup.h"
#include "panels/MyListBrush.h"
#include "tools/OperPaint.h"
#include "tools/OperPolygon.h"
#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "frame/Shell.h"
#include "frame/Splash.h"
#include "panels/MyVertBar.h"
#include "platform/base/Files.h"
#include "platform/gui/Application.h"
#include "platform/base/Sync.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/ErrorHook.h"
#include "platform/gui/Resources.h"
#include "platform/gui/Settings.h"

namespace {

// Control ids of the layer and brush page bars.
constexpr UINT kLayerBarId = 21;
constexpr UINT kBrushBarId = 22;
constexpr UINT kBrushListId = 23;

QString Q(const std::u16string& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
std::u16string U(const QString& s) { return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size())); }

thread_local CMainFrame* t_pRoutingFrame = nullptr;

// Makes the frame the thread's routing frame for the time of one routing, on every exit.
class RoutingScope {
 public:
  explicit RoutingScope(CMainFrame* frame) : m_pOld(t_pRoutingFrame) { t_pRoutingFrame = frame; }
  ~RoutingScope() { t_pRoutingFrame = m_pOld; }
  RoutingScope(const RoutingScope&) = delete;
  RoutingScope& operator=(const RoutingScope&) = delete;

 private:
  CMainFrame* m_pOld;
};

// The frame's window: closing asks the frame first.
class FrameWindow final : public QMainWindow {
 public:
  explicit FrameWindow(CMainFrame* frame) : m_pFrame(frame) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    bool close = true;
    if (!gui::GuardedCall([&] { close = m_pFrame->OnClose(); })) close = true;
    if (close) event->accept();
    else event->ignore();
  }

 private:
  CMainFrame* m_pFrame;
};

// One command's menu text and shortcut; its prompt and tip come from the string table.
struct CommandText {
  UINT id;
  const char16_t* text;
  const char16_t* shortcut;
  bool checkable;
};

const CommandText kCommands[] = {
    {ID_FILE_NEW, u"新建(&N)...", u"Ctrl+N", false},
    {ID_FILE_OPEN, u"打开(&O)...", u"Ctrl+O", false},
    {ID_FILE_SAVE, u"保存(&S)", u"Ctrl+S", false},
    {ID_FILE_SAVE_AS, u"另存为(&A)...", u"Ctrl+Shift+S", false},
    {ID_FILE_EXPORT_PICTURE, u"导出图片(&E)...", nullptr, false},
    {ID_APP_EXIT, u"退出(&X)", u"Ctrl+Q", false},
    {ID_EDIT_UNDO, u"撤销(&U)", u"Ctrl+Z", false},
    {ID_EDIT_REDO, u"重做(&R)", u"Ctrl+Y", false},
    {ID_EDIT_CUT, u"剪切(&T)", u"Ctrl+X", false},
    {ID_EDIT_COPY, u"复制(&C)", u"Ctrl+C", false},
    {ID_EDIT_PASTE, u"粘贴(&P)", u"Ctrl+V", false},
    {ID_SPACE_BACKGROUND, u"背景颜色(&B)", nullptr, false},
    {ID_SPACE_RESIZE, u"空间尺寸(&S)...", nullptr, false},
    {ID_APP_CONFIGURE, u"配置(&C)", nullptr, false},
    {ID_VIEW_ZOOM_IN, u"放大(&I)", u"Ctrl+=", false},
    {ID_VIEW_ZOOM_OUT, u"缩小(&O)", u"Ctrl+-", false},
    {ID_VIEW_ZOOM_ONE, u"原始尺寸(&1)", u"Ctrl+1", false},
    {ID_VIEW_RESET, u"复位(&R)", u"Ctrl+0", false},
    {ID_VIEW_ANGLE_ZERO, u"角度归零(&Z)", nullptr, false},
    {ID_VIEW_ROTATE_LEFT, u"向左旋转(&L)", u"Ctrl+[", false},
    {ID_VIEW_ROTATE_RIGHT, u"向右旋转(&T)", u"Ctrl+]", false},
    {ID_VIEW_FLIP, u"视觉翻转(&F)", nullptr, true},
    // The tools' shortcut is the access key of their menu entry.
    {ID_OPER_MOVE, u"移动(&M)", u"M", true},
    {ID_OPER_NEW, u"创建图层(&N)", u"N", true},
    {ID_OPER_CROP, u"修剪(&C)", u"C", true},
    {ID_OPER_LASSO, u"手术(&S)", u"S", true},
    {ID_OPER_DISTORT, u"自由贴图(&D)", u"D", true},
    {ID_OPER_PAINT, u"绘画(&P)", u"P", true},
    {ID_OPER_FLOOD, u"油漆桶(&F)", u"F", true},
    {ID_OPER_POLYGON, u"描边填充(&O)", u"O", true},
    {ID_OPER_SHAPE, u"形状填充(&H)", u"H", true},
    {ID_OPER_SUCKER, u"吸管(&E)", u"E", true},
    {ID_PAINT_CLEAR, u"清空(&L)", nullptr, false},
    {ID_PAINT_FADE, u"淡化(&A)", nullptr, false},
    {ID_PAINT_FADE75, u"淡化75%(&7)", nullptr, false},
    {ID_LAYER_BLUR, u"模糊(&B)...", nullptr, false},
    {ID_LAYER_BRIGHT, u"亮度/对比度(&C)...", nullptr, false},
    {ID_LAYER_HUE, u"色调/饱和度(&H)...", nullptr, false},
    {ID_BAR_MAIN, u"文档工具栏", nullptr, true},
    {ID_BAR_OPERATION, u"操作工具栏", nullptr, true},
    {ID_BAR_OPTION, u"操作选项栏", nullptr, true},
    {ID_BAR_VIEW, u"视觉工具栏", nullptr, true},
    {ID_BAR_COLOR, u"颜色工具栏", nullptr, true},
    {ID_BAR_LAYER, u"图层栏", nullptr, true},
    {ID_BAR_BRUSH, u"画笔栏", nullptr, true},
    {ID_APP_HELP, u"帮助主题(&H)", u"F1", false},
    {ID_APP_ABOUT, u"关于 Tavrik(&A)...", nullptr, false},
};

const UINT kMainBar[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_UNDO, ID_EDIT_REDO};
const UINT kViewBar[] = {ID_VIEW_ZOOM_IN,     ID_VIEW_ZOOM_OUT,   ID_VIEW_ZOOM_ONE,     ID_VIEW_RESET, 0,
                         ID_VIEW_ROTATE_LEFT, ID_VIEW_ANGLE_ZERO, ID_VIEW_ROTATE_RIGHT, ID_VIEW_FLIP};

const char16_t* const kErrorCaption = u"故障";
const char16_t* const kErrorText = u"抱歉！\n Tavrik 出现了内部错误，需要手动退出。\n详细情况将记录在 ERROR.TXT 文件中。";

// The buttons of the operation tool bar: those of its toolbar resource, in its order.
std::vector<UINT> OperationBarCommands() {
  const gui::ToolBarResource* bar = gui::FindToolBarResource(IDR_OPERATION);
  return bar ? bar->commands : std::vector<UINT>{};
}

// A tool's prompt and tooltip come from its string resource; the tooltip shows its key.
void SetToolTexts(QAction* action, UINT id) {
  const std::u16string tip = gui::StringResourcePart(id, 1);
  if (tip.empty()) return;
  QString text = Q(tip);
  if (!action->shortcut().isEmpty()) text += QStringLiteral(" (%1)").arg(action->shortcut().toString(QKeySequence::NativeText));
  action->setToolTip(text);
  action->setStatusTip(Q(gui::StringResourcePart(id, 0)));
}

// The main window's corners as stored; FitWindowRect makes them fit the screens.
int ReadWindows(const char16_t* key, int def) { return gui::Settings::ReadInt(u"windows", key, def, INT_MIN, INT_MAX); }
// A bar's side, no larger than the room the screen has for it.
int ReadSize(const char16_t* key, int def, LONG room) {
  return gui::Settings::ReadInt(u"windows", key, def, 1, std::clamp<int>(room, 1, 10000));
}

RECT AsRect(const QRect& r) { return RECT{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// The screens' available areas, the primary's first.
std::vector<RECT> ScreenAreas() {
  std::vector<RECT> areas;
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary) areas.push_back(AsRect(primary->availableGeometry()));
  for (QScreen* s : QGuiApplication::screens())
    if (s != primary) areas.push_back(AsRect(s->availableGeometry()));
  return areas;
}

CMainFrame::SplashMode g_splashMode = CMainFrame::mySPLASH_AUTO;

bool WantSplash() {
  if (g_splashMode != CMainFrame::mySPLASH_AUTO) return g_splashMode == CMainFrame::mySPLASH_ALWAYS;
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

// The side docks as the dock bars and the bars' drag contexts see them, in device pixels on
// the screen. It watches the docks and tells the dock bars, once the layout has settled,
// that their sides changed.
class CMainFrame::DockSite final : public QObject, public IDockSite {
 public:
  // How far in from the frame's edge an empty side takes a bar.
  static constexpr int kZone = 32;

  DockSite(QMainWindow* window, std::function<void()> onLayout)
      : m_pWindow(window), m_onLayout(std::move(onLayout)) {}

  void AddBar(QDockWidget* dock, HWND bar) {
    m_bars.push_back(Entry{dock, bar});
    dock->installEventFilter(this);
    QObject::connect(dock, &QDockWidget::dockLocationChanged, this, [this] { LayoutChanged(); });
    QObject::connect(dock, &QDockWidget::topLevelChanged, this, [this] { LayoutChanged(); });
  }

  BOOL HasBar(HWND bar) override { return Find(bar) != nullptr; }

  std::vector<DockedBar> GetDockedBars(int side) override {
    std::vector<DockedBar> bars;
    for (const Entry& e : m_bars)
      if (e.dock->isVisible() && !e.dock->isFloating() && m_pWindow->dockWidgetArea(e.dock) == Area(side))
        bars.push_back(DockedBar{e.bar, Device(ScreenRect(e.dock))});
    std::stable_sort(bars.begin(), bars.end(),
                     [](const DockedBar& a, const DockedBar& b) { return a.rc.top < b.rc.top; });
    return bars;
  }

  void SetBarHeights(int, const std::vector<HWND>& bars, const std::vector<int>& heights) override {
    QList<QDockWidget*> docks;
    QList<int> sizes;
    const double dpr = m_pWindow->devicePixelRatioF();
    for (size_t i = 0; i < bars.size() && i < heights.size(); ++i) {
      if (QDockWidget* dock = Find(bars[i])) {
        docks.append(dock);
        sizes.append(int(std::lround(heights[i] / dpr)));
      }
    }
    m_pWindow->resizeDocks(docks, sizes, Qt::Vertical);
  }

  BOOL GetBarRect(HWND bar, RECT* rc) override {
    QDockWidget* dock = Find(bar);
    if (!dock || !dock->isVisible()) return FALSE;
    *rc = Device(ScreenRect(dock));
    return TRUE;
  }

  // The docking zone of a side: the part of the frame beside the view that its docks take,
  // or a band along the frame's edge when it has none; between the toolbars.
  int DockSideAt(HWND bar, POINT pt, RECT* rc) override {
    QDockWidget* dock = Find(bar);
    if (!dock || !(dock->allowedAreas() & (Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea))) return DOCK_NONE;
    const double dpr = m_pWindow->devicePixelRatioF();
    const QPoint p(int(std::floor(pt.x / dpr)), int(std::floor(pt.y / dpr)));
    const QRect frame = ScreenRect(m_pWindow);
    QWidget* central = m_pWindow->centralWidget();
    const QRect view = central ? ScreenRect(central) : frame;
    if (!frame.contains(p) || p.y() < view.top() || p.y() > view.bottom()) return DOCK_NONE;
    const int width = dock->width();
    for (int side : {DOCK_LEFT, DOCK_RIGHT}) {
      if (!dock->isAreaAllowed(Area(side))) continue;
      const bool empty = GetDockedBars(side).empty();
      QRect zone = side == DOCK_LEFT
                       ? QRect(QPoint(frame.left(), view.top()), QPoint(view.left() - 1, view.bottom()))
                       : QRect(QPoint(view.right() + 1, view.top()), QPoint(frame.right(), view.bottom()));
      if (zone.width() < kZone) {
        if (side == DOCK_LEFT) zone.setRight(frame.left() + kZone - 1);
        else zone.setLeft(frame.right() - kZone + 1);
      }
      if (!zone.contains(p)) continue;
      if (empty) {
        if (side == DOCK_LEFT) zone.setRight(zone.left() + width - 1);
        else zone.setLeft(zone.right() - width + 1);
      }
      *rc = Device(zone);
      return side;
    }
    return DOCK_NONE;
  }

  void FloatBar(HWND bar, const RECT& rc) override {
    QDockWidget* dock = Find(bar);
    if (!dock) return;
    const double dpr = m_pWindow->devicePixelRatioF();
    dock->setFloating(true);
    dock->setGeometry(QRect(int(std::lround(rc.left / dpr)), int(std::lround(rc.top / dpr)),
                            int(std::lround((rc.right - rc.left) / dpr)),
                            int(std::lround((rc.bottom - rc.top) / dpr))));
    dock->show();
  }

  void DockBar(HWND bar, int side) override {
    QDockWidget* dock = Find(bar);
    if (!dock || !dock->isAreaAllowed(Area(side))) return;
    if (dock->isFloating()) dock->setFloating(false);
    m_pWindow->addDockWidget(Area(side), dock, Qt::Vertical);
    dock->show();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Resize:
      case QEvent::Move:
      case QEvent::Show:
      case QEvent::Hide: LayoutChanged(); break;
      default: break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  struct Entry {
    QDockWidget* dock;
    HWND bar;
  };
  static Qt::DockWidgetArea Area(int side) {
    return side == DOCK_LEFT ? Qt::LeftDockWidgetArea : Qt::RightDockWidgetArea;
  }
  static QRect ScreenRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }
  RECT Device(const QRect& r) const {
    const double dpr = m_pWindow->devicePixelRatioF();
    return RECT{LONG(std::lround(r.left() * dpr)), LONG(std::lround(r.top() * dpr)),
                LONG(std::lround((r.left() + r.width()) * dpr)), LONG(std::lround((r.top() + r.height()) * dpr))};
  }
  QDockWidget* Find(HWND bar) const {
    for (const Entry& e : m_bars)
      if (e.bar == bar) return e.dock;
    return nullptr;
  }
  // Once per turn of the event loop: the layout moves the docks one after the other.
  void LayoutChanged() {
    if (m_bPending) return;
    m_bPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          m_bPending = false;
          gui::GuardedCall([&] { m_onLayout(); });
        },
        Qt::QueuedConnection);
  }

  QMainWindow* m_pWindow;
  std::function<void()> m_onLayout;
  std::vector<Entry> m_bars;
  bool m_bPending = false;
};

CMainFrame::CMainFrame(CTavrikApp* app) : m_pApp(app) {}

CMainFrame::~CMainFrame() {
  if (m_pActions) m_pActions->SetUpdateInterval(0);
  if (m_nTimer) KillTimer(m_nTimer);
  if (m_pLayerBar) m_pLayerBar->Attach(nullptr);
  if (m_pColorView) m_pColorView->SetModel(nullptr);
  // The ring menus go before the tools whose providers a shown one holds.
  for (auto& ring : m_apRingMenu) ring.reset();
  // The view's window goes first, so the worker finds no image to present into; then the
  // document stops the worker and releases its layers; then the bars.
  if (m_pView) m_pView->DestroyWindow();
  m_pDocTarget.reset();
  m_pDoc.reset();
  m_pView.reset();
  m_pSplash.reset();
  // The dock bars stop listening before the docks go; the pages leave their bars before the
  // bars go (the brush bar's widget goes with its page bar's).
  m_apDockBar = {};
  m_pDockSite.reset();
  delete m_pLayerBar;
  m_pLayerBar = nullptr;
  m_pBrushList.reset();
  m_apVertBar = {};
  DestroyWindow();
  m_pActions.reset();
  delete m_pWindow;
}

CMainFrame* CMainFrame::GetRoutingFrame() { return t_pRoutingFrame; }

void CMainFrame::SetSplashMode(SplashMode mode) { g_splashMode = mode; }

BOOL CMainFrame::IsSplashShowing() const { return m_pSplash && m_pSplash->IsShowing(); }

void CMainFrame::CloseSplash() {
  if (m_pSplash) m_pSplash->Close();
}

CJobRunner* CMainFrame::GetJobRunner() const { return m_pProgress.get(); }

bool CMainFrame::WasJobCancelled() const { return m_pProgress && m_pProgress->WasCancelled(); }

HWND CMainFrame::GetOptionWindow() const { return m_pOptionBar ? m_pOptionBar->GetWindow() : nullptr; }

BOOL CMainFrame::Create() {
  m_pWindow = new FrameWindow(this);
  m_pWindow->setObjectName(QStringLiteral("main"));
  m_pWindow->setWindowIcon(ProgramIcon());
  m_pWindow->setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks);
  Attach(m_pWindow);
  if (WantSplash()) {
    m_pSplash = std::make_unique<CSplashWnd>();
    // Once round the event loop, so that it is on the screen while the frame builds.
    if (m_pSplash->Show(IDB_SPLASH, kSplashMs)) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  m_pActions = std::make_unique<gui::CommandActions>(m_pWindow, this);
  m_pProgress = std::make_unique<CDlgProgress>(
      [this]() -> QWidget* { return m_pWindow && m_pWindow->isVisible() ? m_pWindow : nullptr; });

  CreateActions();
  CreateMenus();
  CreateToolBars();
  if (!CreateRingMenus()) return FALSE;
  CreateStatusBar();
  CreateSideBars();
  CreateDockBars();
  if (!CreateDocumentAndView()) return FALSE;
  RestorePlacement();
  m_nTimer = SetTimer(kTimerId, kTimerMs);
  m_pActions->SetUpdateInterval(250);
  UpdateTitle();
  UpdateAll();
  return TRUE;
}

void CMainFrame::CreateActions() {
  for (const CommandText& c : kCommands) {
    const std::u16string status = gui::StringResourcePart(c.id, 0);
    const std::u16string tip = gui::StringResourcePart(c.id, 1);
    QAction* action = m_pActions->Add(c.id, c.text, c.shortcut, c.checkable, tip.c_str());
    action->setStatusTip(Q(status));
    action->setIcon(CommandIcon(c.id));
    action->setIconVisibleInMenu(true);
  }
  for (const CLayerBar::MenuItem& item : CLayerBar::kLayerMenu) {
    if (!item.id) continue;
    const std::u16string tip = gui::StringResourcePart(item.id, 1);
    m_pActions->Add(item.id, item.text, nullptr, false, tip.c_str())->setStatusTip(Q(gui::StringResourcePart(item.id, 0)));
  }
  m_pActions->Get(ID_EDIT_REDO)->setShortcuts({QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
  m_pActions->Get(ID_VIEW_ZOOM_IN)->setShortcuts({QKeySequence(QStringLiteral("Ctrl+=")), QKeySequence(QStringLiteral("Ctrl++"))});
  for (UINT id : OperationBarCommands())
    if (QAction* action = m_pActions->Get(id)) SetToolTexts(action, id);
  for (UINT i = 0; i < RECENT_FILE_COUNT; ++i) m_pActions->Add(ID_FILE_MRU_FILE1 + i, u"")->setVisible(false);
}

void CMainFrame::CreateMenus() {
  QMenuBar* bar = m_pWindow->menuBar();
  auto add = [&](QMenu* menu, std::initializer_list<UINT> ids) {
    for (UINT id : ids) {
      if (id) menu->addAction(m_pActions->Get(id));
      else menu->addSeparator();
    }
  };
  m_pFileMenu = bar->addMenu(QStringLiteral("文件(&F)"));
  add(m_pFileMenu, {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_EXPORT_PICTURE, 0});
  for (UINT i = 0; i < RECENT_FILE_COUNT; ++i) m_pFileMenu->addAction(m_pActions->Get(ID_FILE_MRU_FILE1 + i));
  m_pRecentSeparator = m_pFileMenu->addSeparator();
  add(m_pFileMenu, {ID_APP_EXIT});

  QMenu* edit = bar->addMenu(QStringLiteral("编辑(&E)"));
  add(edit, {ID_EDIT_UNDO, ID_EDIT_REDO, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0, ID_SPACE_BACKGROUND,
             ID_SPACE_RESIZE, 0, ID_APP_CONFIGURE});
  QMenu* view = bar->addMenu(QStringLiteral("视觉(&V)"));
  add(view, {ID_VIEW_ZOOM_IN, ID_VIEW_ZOOM_OUT, ID_VIEW_ZOOM_ONE, ID_VIEW_RESET, 0, ID_VIEW_ROTATE_LEFT,
             ID_VIEW_ROTATE_RIGHT, ID_VIEW_ANGLE_ZERO, 0, ID_VIEW_FLIP});
  // The same items as the layer bar's right-click menu.
  QMenu* layer = bar->addMenu(QStringLiteral("图层(&L)"));
  for (const CLayerBar::MenuItem& item : CLayerBar::kLayerMenu) add(layer, {item.id});
  QMenu* oper = bar->addMenu(QStringLiteral("操作(&O)"));
  add(oper, {ID_OPER_MOVE, ID_OPER_NEW, ID_OPER_CROP, ID_OPER_LASSO, ID_OPER_DISTORT, 0, ID_OPER_PAINT,
             ID_OPER_FLOOD, ID_OPER_POLYGON, ID_OPER_SHAPE, ID_OPER_SUCKER, 0, ID_PAINT_CLEAR, ID_PAINT_FADE,
             ID_PAINT_FADE75});
  QMenu* filter = bar->addMenu(QStringLiteral("滤镜(&T)"));
  add(filter, {ID_LAYER_BLUR, ID_LAYER_BRIGHT, ID_LAYER_HUE});
  QMenu* window = bar->addMenu(QStringLiteral("窗口(&W)"));
  add(window, {ID_BAR_MAIN, ID_BAR_OPERATION, ID_BAR_OPTION, ID_BAR_VIEW, ID_BAR_COLOR, 0, ID_BAR_LAYER, ID_BAR_BRUSH});
  QMenu* help = bar->addMenu(QStringLiteral("帮助(&H)"));
  add(help, {ID_APP_HELP, 0, ID_APP_ABOUT});
  for (QMenu* menu : {m_pFileMenu, edit, view, layer, oper, filter, window, help}) m_pActions->WatchMenu(menu);
  RefreshRecentFiles();

  // The frame's own commands.
  OnCommand(ID_APP_CONFIGURE, [this] { OnConfigure(); });
  for (UINT id = ID_BAR_MAIN; id <= ID_BAR_BRUSH; ++id) {
    OnCommand(id, [this, id] { ToggleBar(id); });
    OnUpdateCommandUI(id, [this, id](gui::CmdUI* ui) {
      QWidget* bar = BarOf(id);
      ui->SetCheck(bar && bar->isVisible() ? 1 : 0);
    });
  }
}

void CMainFrame::CreateToolBars() {
  auto make = [&](const QString& title, const char* name, const UINT* ids, size_t count) {
    auto* bar = new QToolBar(title, m_pWindow);
    bar->setObjectName(QString::fromLatin1(name));
    bar->setIconSize(QSize(22, 22));
    bar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
    for (size_t i = 0; i < count; ++i) {
      if (ids[i]) bar->addAction(m_pActions->Get(ids[i]));
      else bar->addSeparator();
    }
    return bar;
  };
  m_pMainBar = make(QStringLiteral("文档"), "main", kMainBar, std::size(kMainBar));
  // The undo and redo buttons drop down the history of their store.
  for (UINT id : {ID_EDIT_UNDO, ID_EDIT_REDO})
    CHistoryDropDown::Attach(
        qobject_cast<QToolButton*>(m_pMainBar->widgetForAction(m_pActions->Get(id))), id, this,
        [this] { return m_pDoc ? m_pDoc->GetPaintSpace() : nullptr; }, [this] { UpdateAll(); });
  const std::vector<UINT> operation = OperationBarCommands();
  m_pOperBar = make(QStringLiteral("操作"), "operation", operation.data(), operation.size());
  m_pViewBar = make(QStringLiteral("视觉"), "view", kViewBar, std::size(kViewBar));
  m_pOptionBar = new COptionBar(m_pWindow);
  m_pOptionBar->setObjectName(QStringLiteral("option"));
  m_pOptionBar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
  m_pColorBar = new QToolBar(QStringLiteral("颜色"), m_pWindow);
  m_pColorBar->setObjectName(QStringLiteral("color"));
  m_pColorBar->setAllowedAreas(Qt::TopToolBarArea | Qt::BottomToolBarArea);
  m_pColorView = new CColorBarView(m_pColorBar);
  m_pColorBar->addWidget(m_pColorView);

  // Document, operation and option bars along the top; view and colour bars along the foot.
  m_pWindow->addToolBar(Qt::TopToolBarArea, m_pMainBar);
  m_pWindow->addToolBar(Qt::TopToolBarArea, m_pOperBar);
  m_pWindow->addToolBar(Qt::TopToolBarArea, m_pOptionBar);
  m_pWindow->addToolBar(Qt::BottomToolBarArea, m_pViewBar);
  m_pWindow->addToolBar(Qt::BottomToolBarArea, m_pColorBar);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* status = m_pWindow->statusBar();
  m_apPane[0] = new QLabel(QStringLiteral("就绪"));
  status->addWidget(m_apPane[0], 1);
  const int widths[kPanes] = {0, 100, 100, 200};
  for (int i = 1; i < kPanes; ++i) {
    m_apPane[i] = new QLabel;
    m_apPane[i]->setMinimumWidth(widths[i]);
    m_apPane[i]->setAlignment(Qt::AlignCenter);
    status->addPermanentWidget(m_apPane[i]);
  }
}

void CMainFrame::CreateSideBars() {
  // The page bar in each dock draws the title row with its close button and starts the
  // dock's drags itself: the dock shows no title of its own.
  auto make = [&](const QString& title, const char* name) {
    auto* dock = new QDockWidget(title, m_pWindow);
    dock->setObjectName(QString::fromLatin1(name));
    dock->setAllowedAreas(Qt::AllDockWidgetAreas);
    auto* noTitle = new QWidget(dock);
    noTitle->setFixedSize(0, 0);
    dock->setTitleBarWidget(noTitle);
    return dock;
  };
  m_pLayerDock = make(QStringLiteral("图层"), "layer");
  m_pBrushDock = make(QStringLiteral("画笔"), "brush");
  QDockWidget* docks[2] = {m_pLayerDock, m_pBrushDock};
  const UINT ids[2] = {kLayerBarId, kBrushBarId};
  const char16_t* titles[2] = {u"图层", u"画笔"};
  for (size_t i = 0; i < 2; ++i) {
    m_apVertBar[i] = std::make_unique<CMyVertBar>();
    m_apVertBar[i]->Create(docks[i], ids[i], titles[i]);
    // Collapsed, a bar still shows its title row.
    const double dpr = m_pWindow->devicePixelRatioF();
    m_apVertBar[i]->GetWidget()->setMinimumSize(int(std::ceil(CMyVertBar::kMinCx / dpr)),
                                                int(std::ceil(VB_COLLAPSED_CY / dpr)));
    docks[i]->setWidget(m_apVertBar[i]->GetWidget());
    docks[i]->setMinimumSize(m_apVertBar[i]->GetWidget()->minimumSize());
    QDockWidget* dock = docks[i];
    m_apVertBar[i]->SetCloseHandler([dock] { dock->hide(); });
  }
  m_pLayerBar = new CLayerBar;
  m_pLayerBar->SetPageBar(m_apVertBar[0].get());
  m_pLayerBar->SetShell(this);
  m_pLayerBar->SetClickInterval(m_pApp->nMouseClickInterval);
  m_pLayerBar->SetOpenDocument([this](const std::u16string& path) { m_pApp->OpenDocumentFile(path); });
  m_pLayerBar->Create();
  m_pLayerBar->SetCommandWindow(GetSafeHwnd());
  if (m_pLayerBar->GetThumbPopup()) m_pLayerBar->GetThumbPopup()->SetFrameWindow(GetSafeHwnd());
  m_pLayerBar->GetHostWidget()->setParent(m_apVertBar[0]->GetWidget());
  m_apVertBar[0]->SetToolStrip(m_pLayerBar->GetHostWindow(), nullptr);
  // The brush list: the brush bar's root page, its current entry's property page beside it.
  m_pBrushList = std::make_unique<CMyListBrush>();
  m_pBrushList->SetFont(m_pApp->GetFont13());
  m_pBrushList->SetSystem(m_pApp->GetSystem());
  m_pBrushList->SetPageBar(m_apVertBar[1].get());
  m_pBrushList->SetPresetsFolders(m_pApp->GetProgramFolder(), plat::GetUserDataFolder());
  m_pBrushList->SetMouseSettings(m_pApp->nMouseClickInterval, m_pApp->nMouseTolerance);
  m_pBrushList->SetAskName([this](std::u16string* name, std::u16string* description) {
    return AskBrushName(name, description);
  });
  if (m_pBrushList->Create(WS_VISIBLE, RECT{0, 0, 200, 300}, m_apVertBar[1].get(), kBrushListId)) {
    m_apVertBar[1]->SetToolStrip(m_pBrushList->GetSafeHwnd(), nullptr);
    m_pBrushList->LoadBrushes();
  }
  m_pWindow->addDockWidget(Qt::RightDockWidgetArea, m_pLayerDock);
  m_pWindow->splitDockWidget(m_pLayerDock, m_pBrushDock, Qt::Vertical);
}

void CMainFrame::CreateDockBars() {
  m_pDockSite = std::make_unique<DockSite>(m_pWindow, [this] {
    for (auto& dock : m_apDockBar)
      if (dock) dock->OnLayoutChanged();
  });
  m_pDockSite->AddBar(m_pLayerDock, m_apVertBar[0]->GetSafeHwnd());
  m_pDockSite->AddBar(m_pBrushDock, m_apVertBar[1]->GetSafeHwnd());
  for (int side : {DOCK_LEFT, DOCK_RIGHT}) {
    m_apDockBar[size_t(side)] = std::make_unique<CMyDockBar>(m_pDockSite.get(), side);
    m_apDockBar[size_t(side)]->Create(m_pWindow, RECT{0, 0, 0, 0}, WS_CHILD);
  }
}

CMyDockBar* CMainFrame::GetDockBar(int side) const {
  return side == DOCK_LEFT || side == DOCK_RIGHT ? m_apDockBar[size_t(side)].get() : nullptr;
}

CMyVertBar* CMainFrame::GetVertBar(UINT barCommand) const {
  switch (barCommand) {
    case ID_BAR_LAYER: return m_apVertBar[0].get();
    case ID_BAR_BRUSH: return m_apVertBar[1].get();
    default: return nullptr;
  }
}

HWND CMainFrame::GetSideBarWindow(UINT barCommand) const {
  CMyVertBar* bar = GetVertBar(barCommand);
  return bar ? bar->GetSafeHwnd() : nullptr;
}

BOOL CMainFrame::CreateDocumentAndView() {
  m_pView = std::make_unique<CTavrikView>();
  // Before the document: its first tool hands its option windows to the frame's option bar.
  m_pView->SetShell(this);
  m_pDoc = std::make_unique<CTavrikDoc>(m_pApp->GetSystem(), m_pApp->GetShowDevice(), m_pView.get(), m_pProgress.get(),
                                        &m_pApp->m_spaceSize);
  if (!m_pView->Create(m_pWindow, m_pDoc.get())) return FALSE;
  m_pWindow->setCentralWidget(m_pView->GetWidget());
  m_pView->SetFrameCallbacks([this] { UpdateAll(); }, [this] { FinishListWork(); });
  m_pView->SetOpenDocumentCallback([this](const std::u16string& path) { m_pApp->OpenDocumentFile(path); });
  m_pView->SetImportImageCallback([this](const std::u16string& path) {
    gui::GuardedCall([&] { m_pDoc->GetListLayer()->LoadImage(path.c_str()); });
  });
  m_pDocTarget = std::make_unique<CDocCommands>(this);
  // The layer commands ask the frame's dialogs and share the program's clipboard.
  m_pLayerAsk = std::make_unique<CFrameLayerAsk>(this);
  m_pDoc->GetListLayer()->SetAsk(m_pLayerAsk.get());
  m_pDoc->GetListLayer()->SetClipboard(&m_pApp->m_clipboard);
  m_pLayerBar->Attach(m_pDoc.get());
  if (m_pBrushList) m_pBrushList->SetPaintSpace(m_pDoc->GetPaintSpace());
  m_pColorView->SetModel(m_pDoc->GetColorBar());
  m_pColorView->SetShell(this);
  return TRUE;
}

// The layout of a first run, then whatever the last run stored over it.
void CMainFrame::RestorePlacement() {
  QRect screen(0, 0, 1280, 800);
  if (QScreen* s = QGuiApplication::primaryScreen()) screen = s->geometry();
  const int sw = screen.width(), sh = screen.height();
  const RECT firstRun{sw / 4, sh / 4, sw / 4 + sw / 2, sh / 4 + sh / 2};
  const RECT stored{ReadWindows(u"main.left", firstRun.left), ReadWindows(u"main.top", firstRun.top),
                    ReadWindows(u"main.right", firstRun.right), ReadWindows(u"main.bottom", firstRun.bottom)};
  const std::vector<RECT> areas = ScreenAreas();
  const QSize least = m_pWindow->minimumSizeHint();
  const RECT fitted = placement::FitWindowRect(stored, firstRun, areas, SIZE{least.width(), least.height()});
  m_pWindow->setGeometry(QRect(fitted.left, fitted.top, fitted.right - fitted.left, fitted.bottom - fitted.top));

  const RECT room = areas.empty() ? firstRun : areas[0];
  const LONG cx = room.right - room.left, cy = room.bottom - room.top;
  m_pLayerDock->resize(ReadSize(u"layer.cxfloat", 256, cx), ReadSize(u"layer.cyfloat", 512, cy));
  m_pBrushDock->resize(ReadSize(u"brush.cxfloat", 256, cx), ReadSize(u"brush.cyfloat", 512, cy));
  // A first run opens the layer bar and leaves the brush bar collapsed to its title row (a
  // click opens it).
  m_anDockSize = {ReadSize(u"layer.cx", 208, cx), ReadSize(u"layer.cy", 512, cy), ReadSize(u"brush.cx", 208, cx),
                  ReadSize(u"brush.cy", 1, cy)};
  ApplyDockSizes();

  std::vector<uint8_t> state;
  if (gui::Settings::ReadBinary(u"Set", u"State", &state) && !state.empty())
    m_bStateRestored =
        m_pWindow->restoreState(QByteArray(reinterpret_cast<const char*>(state.data()), qsizetype(state.size())));
}

void CMainFrame::ApplyDockSizes() {
  if (m_bStateRestored) return;
  m_pWindow->resizeDocks({m_pLayerDock, m_pBrushDock}, {m_anDockSize[0], m_anDockSize[2]}, Qt::Horizontal);
  m_pWindow->resizeDocks({m_pLayerDock, m_pBrushDock}, {m_anDockSize[1], m_anDockSize[3]}, Qt::Vertical);
}

void CMainFrame::SavePlacement() {
  gui::Settings::WriteInt(u"windows", u"main.bMaximized", m_pWindow->isMaximized() ? 1 : 0);
  const QRect normal = m_pWindow->isMaximized() || m_pWindow->isMinimized() ? m_pWindow->normalGeometry()
                                                                            : m_pWindow->geometry();
  gui::Settings::WriteInt(u"windows", u"main.left", normal.left());
  gui::Settings::WriteInt(u"windows", u"main.top", normal.top());
  gui::Settings::WriteInt(u"windows", u"main.right", normal.left() + normal.width());
  gui::Settings::WriteInt(u"windows", u"main.bottom", normal.top() + normal.height());
  // A docked bar keeps its docked size, a floating one its floating size; the other pair
  // stays as it was.
  auto saveBar = [](QDockWidget* dock, const char16_t* cx, const char16_t* cy, const char16_t* cxf, const char16_t* cyf) {
    if (dock->isFloating()) {
      gui::Settings::WriteInt(u"windows", cxf, dock->width());
      gui::Settings::WriteInt(u"windows", cyf, dock->height());
    } else if (dock->isVisible()) {
      gui::Settings::WriteInt(u"windows", cx, dock->width());
      gui::Settings::WriteInt(u"windows", cy, dock->height());
    }
  };
  saveBar(m_pLayerDock, u"layer.cx", u"layer.cy", u"layer.cxfloat", u"layer.cyfloat");
  saveBar(m_pBrushDock, u"brush.cx", u"brush.cy", u"brush.cxfloat", u"brush.cyfloat");
  const QByteArray state = m_pWindow->saveState();
  gui::Settings::WriteBinary(u"Set", u"State", state.constData(), size_t(state.size()));
  gui::Settings::Flush();
}

void CMainFrame::ShowFrame(BOOL maximized) {
  if (maximized) m_pWindow->showMaximized();
  else m_pWindow->show();
  QCoreApplication::processEvents();
  CloseSplash();
  ApplyDockSizes();
}

QToolBar* CMainFrame::GetToolBar(UINT barCommand) const {
  switch (barCommand) {
    case ID_BAR_MAIN: return m_pMainBar;
    case ID_BAR_OPERATION: return m_pOperBar;
    case ID_BAR_OPTION: return m_pOptionBar;
    case ID_BAR_VIEW: return m_pViewBar;
    case ID_BAR_COLOR: return m_pColorBar;
    default: return nullptr;
  }
}

QDockWidget* CMainFrame::GetDock(UINT barCommand) const {
  switch (barCommand) {
    case ID_BAR_LAYER: return m_pLayerDock;
    case ID_BAR_BRUSH: return m_pBrushDock;
    default: return nullptr;
  }
}

QWidget* CMainFrame::BarOf(UINT id) const {
  if (QToolBar* bar = GetToolBar(id)) return bar;
  return GetDock(id);
}

void CMainFrame::ToggleBar(UINT id) {
  if (QWidget* bar = BarOf(id)) bar->setVisible(!bar->isVisible());
}

void CMainFrame::FinishListWork() {
  if (m_pLayerBar) m_pLayerBar->FinishWork();
  if (m_pBrushList) m_pBrushList->FinishWork();
}

BOOL CMainFrame::AskBrushName(std::u16string* name, std::u16string* description) {
  CDlgAddBrush dialog(m_pWindow, *name, *description);
  if (RunModal(&dialog) != QDialog::Accepted) return FALSE;
  *name = dialog.GetName();
  *description = dialog.GetDescription();
  return !name->empty();
}

void CMainFrame::SaveBrushes() {
  if (m_pBrushList) m_pBrushList->SaveBrushes();
}

// ---- services for the tools and panels ---------------------------------------------------------

BOOL CMainFrame::CreateRingMenus() {
  for (bool translucent : {false, true}) {
    auto ring = std::make_unique<CFlowerWnd>();
    if (!ring->Create(this, translucent)) return FALSE;
    m_apRingMenu[translucent ? 1 : 0] = std::move(ring);
  }
  return TRUE;
}

void CMainFrame::PopupRingMenu(int x, int y, CFunctionMenu* menu) {
  const bool translucent = m_pApp->nFlowerAlphaEnable != 0;
  if (CFlowerWnd* other = GetRingMenu(!translucent)) other->Cancel();
  if (CFlowerWnd* ring = GetRingMenu(translucent)) ring->Popup(x, y, menu);
}

BOOL CMainFrame::PopupColorWheel(int x, int y, HSVCOLOR colour, HWND owner, DWORD flags) {
  CColorWheel* wheel = GetColorWheel();
  return wheel ? wheel->Popup(x, y, colour, owner, flags) : FALSE;
}

// The colour bar answers the wheel: the choice becomes its current colour.
BOOL CMainFrame::PopupPalette(int x, int y) { return m_pColorView ? m_pColorView->OpenWheel(POINT{x, y}, 0) : FALSE; }

CColorWheel* CMainFrame::GetColorWheel() {
  if (!m_pColorWheel && GetSafeHwnd()) {
    auto wheel = std::make_unique<CColorWheel>();
    if (wheel->Create(this)) m_pColorWheel = std::move(wheel);
  }
  return m_pColorWheel.get();
}

int CMainFrame::AskCrop(CropQuestion* question) { return CDlgCrop::Ask(m_pWindow, question); }

gui::GWindow* CMainFrame::GetOptionBar() { return gui::GWindow::FromHandle(GetOptionWindow()); }

void CMainFrame::UpdateTitle() {
  if (!m_pWindow) return;
  QString name = QStringLiteral("无标题");
  if (m_pDoc && !m_pDoc->GetPathName().empty()) name = QFileInfo(Q(m_pDoc->GetPathName())).fileName();
  m_pWindow->setWindowTitle(name + QStringLiteral("[*] - Tavrik"));
  m_pWindow->setWindowModified(m_pDoc && m_pDoc->GetPaintSpace() && m_pDoc->IsModified());
}

void CMainFrame::RefreshRecentFiles() {
  const std::vector<std::u16string>& recent = m_pApp->GetRecentFiles();
  for (UINT i = 0; i < RECENT_FILE_COUNT; ++i) {
    QAction* action = m_pActions->Get(ID_FILE_MRU_FILE1 + i);
    if (!action) continue;
    const bool used = i < recent.size();
    action->setVisible(used);
    if (!used) continue;
    const QString path = Q(recent[i]);
    action->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
    action->setStatusTip(path);
  }
  if (m_pRecentSeparator) m_pRecentSeparator->setVisible(!recent.empty());
}

void CMainFrame::UpdateAll() {
  if (m_pActions) m_pActions->UpdateAll();
  OnTimer();
}

void CMainFrame::SetPaneText(int pane, const QString& text) {
  if (pane < 0 || pane >= kPanes || !m_apPane[size_t(pane)]) return;
  m_apPane[size_t(pane)]->setText(text);
  m_apPane[size_t(pane)]->repaint();
}

void CMainFrame::ShowStatus(const char16_t* text) { SetPaneText(0, Q(std::u16string(text ? text : u""))); }

std::u16string CMainFrame::GetPaneText(int pane) const {
  if (pane < 0 || pane >= kPanes || !m_apPane[size_t(pane)]) return u"";
  return U(m_apPane[size_t(pane)]->text());
}

void CMainFrame::OnTimer() {
  CPaintSpace* space = m_pDoc ? m_pDoc->GetPaintSpace() : nullptr;
  if (!space || space->GetState() != CPaintSpace::myREADY) return;
  if (space->GetWidth() != m_uShownWidth || space->GetHeight() != m_uShownHeight) {
    m_uShownWidth = space->GetWidth();
    m_uShownHeight = space->GetHeight();
    SetPaneText(2, QStringLiteral("%1 x %2").arg(int(m_uShownWidth)).arg(int(m_uShownHeight)));
  }
  const ViewTransform& t = *space->m_pTransform;
  QString view = QString::number(std::lround(double(t.scale) * 100.0)) + QStringLiteral("%");
  const long degrees = std::lround(double(t.angle) * 180.0 / M_PI) % 360;
  if (degrees) view += QStringLiteral("  %1°").arg(degrees);
  if (t.flags & VIEW_FLAG_FLIP) view += QStringLiteral("  镜像");
  if (m_apPane[1] && m_apPane[1]->text() != view) m_apPane[1]->setText(view);
  const bool modified = m_pDoc->IsModified();
  if (m_pWindow->isWindowModified() != modified) m_pWindow->setWindowModified(modified);
}

void CMainFrame::OnErrorNotice() {
  gui::ShowMessage(kErrorCaption, kErrorText);
  SetPaneText(3, QStringLiteral("已出现故障"));
}

void CMainFrame::OnConfigure() {
  ConfigureValues values{m_pApp->nTabletPressure, m_pApp->nMouseClickInterval, m_pApp->nMouseTolerance,
                         m_pApp->nStartupCreateLayer, m_pApp->nFlowerAlphaEnable};
  CDlgConfigure dialog(m_pWindow, values);
  if (RunModal(&dialog) != QDialog::Accepted) return;
  values = dialog.GetValues();
  m_pApp->nTabletPressure = values.nTabletPressure;
  COperPaint::s_nTabletPressure = values.nTabletPressure;
  m_pApp->nFlowerAlphaEnable = values.nFlowerAlphaEnable;
  m_pApp->nStartupCreateLayer = values.nStartupCreateLayer;
  m_pApp->nMouseClickInterval = values.nMouseClickInterval;
  m_pApp->nMouseTolerance = values.nMouseTolerance;
  // The click interval and tolerance take effect at once, in every place that times a press.
  COperPolygon::s_nClickInterval = values.nMouseClickInterval;
  if (m_pLayerBar) m_pLayerBar->SetClickInterval(values.nMouseClickInterval);
  if (m_pBrushList) m_pBrushList->SetMouseSettings(values.nMouseClickInterval, values.nMouseTolerance);
}

BOOL CMainFrame::SaveDocument(bool saveAs) {
  if (!m_pDoc) return FALSE;
  std::u16string path = m_pDoc->GetPathName();
  if (saveAs || path.empty()) {
    path = shell::AskSavePath(this, path);
    if (path.empty()) return FALSE;
  }
  if (!ConfirmOverwriteProtected(path)) return FALSE;
  const BOOL saved = m_pDoc->SaveFile(path);
  if (saved) {
    m_pApp->AddToRecentFileList(path);
  } else if (!WasJobCancelled()) {
    const std::u16string text = RefusalText(u"无法保存文档：\n" + path, m_pDoc->GetLastReason());
    gui::MessageBox(GetSafeHwnd(), text.c_str(), u"Tavrik", gui::MB_OK | gui::MB_ICONERROR);
  }
  UpdateTitle();
  return saved;
}

BOOL CMainFrame::ConfirmOverwriteProtected(const std::u16string& path) {
  if (!plat::FileExists(path) || plat::IsFileWritable(path)) return TRUE;
  const std::u16string text = U(QStringLiteral("“%1”是只读文件。\n是否仍然覆盖它？").arg(QFileInfo(Q(path)).fileName()));
  return gui::MessageBox(GetSafeHwnd(), text.c_str(), u"Tavrik", gui::MB_YESNO | gui::MB_ICONWARNING) == gui::IDYES;
}

BOOL CMainFrame::SaveModified() {
  if (!m_pDoc || !m_pDoc->GetPaintSpace() || !m_pDoc->IsModified()) return TRUE;
  QString name = QStringLiteral("无标题");
  if (!m_pDoc->GetPathName().empty()) name = QFileInfo(Q(m_pDoc->GetPathName())).fileName();
  const std::u16string text = U(QStringLiteral("是否保存对“%1”的修改？").arg(name));
  switch (gui::MessageBox(GetSafeHwnd(), text.c_str(), u"Tavrik", gui::MB_YESNOCANCEL | gui::MB_ICONQUESTION)) {
    case gui::IDYES: return SaveDocument(false);
    case gui::IDNO: return TRUE;
    default: return FALSE;
  }
}

BOOL CMainFrame::WaitForComposedView(int width, int height, int timeoutMs) {
  m_pWindow->showNormal();
  m_pWindow->setGeometry(QRect(0, 0, width, height));
  QCoreApplication::processEvents();
  CloseSplash();
  ApplyDockSizes();
  QElapsedTimer clock;
  clock.start();
  CPaintSpace* space = m_pDoc ? m_pDoc->GetPaintSpace() : nullptr;
  int settled = 0;
  while (clock.elapsed() < timeoutMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    gui::RunPostedMessages();
    const bool done = space && space->GetState() == CPaintSpace::myREADY && space->IsCompositeValid() &&
                      space->GetWorker()->IsReady() && !space->HasPendingRefresh() && m_pWindow->isVisible();
    // A few quiet rounds: the last present's repaint has to reach the widget.
    settled = done ? settled + 1 : 0;
    if (settled >= 5) {
      UpdateAll();
      QCoreApplication::processEvents();
      return TRUE;
    }
    plat::Sleep(5);
  }
  return FALSE;
}

BOOL CMainFrame::SaveScreenshot(const std::u16string& path, int width, int height, int timeoutMs) {
  if (!WaitForComposedView(width, height, timeoutMs)) return FALSE;
  const QPixmap shot = m_pWindow->grab();
  return shot.save(Q(path), "PNG") ? TRUE : FALSE;
}

void CMainFrame::Close() {
  if (m_pWindow) m_pWindow->close();
}

bool CMainFrame::OnClose() {
  if (!m_bQuiet && !SaveModified()) return false;
  SavePlacement();
  return true;
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      if (wParam != m_nTimer) break;
      OnTimer();
      return 0;
    case WM_MYERRORNOTICE:
      OnErrorNotice();
      return 0;
    case WM_COMMAND:
      // A command from a menu item or an option toolbar button (not a control's
      // notification): the same route as the frame's own menus and toolbars.
      if (HIWORD(wParam) != 0 || lParam != 0) break;
      gui::ExecuteCommand(this, LOWORD(wParam));
      return 0;
    default:
      break;
  }
  return GWindow::WindowProc(msg, wParam, lParam);
}

BOOL CMainFrame::OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) {
  RoutingScope scope(this);
  try {
    if (m_pView && m_pView->GetSafeHwnd()) {
      if (m_pDocTarget && m_pDocTarget->OnCmdMsg(id, code, extra, info)) return TRUE;
      if (m_pLayerBar && m_pLayerBar->OnCmdMsg(id, code, extra, info)) return TRUE;
      if (m_pBrushList && m_pBrushList->OnCmdMsg(id, code, extra, info)) return TRUE;
      if (auto* view = dynamic_cast<gui::CmdTarget*>(m_pView.get()); view && view->OnCmdMsg(id, code, extra, info))
        return TRUE;
    }
    if (CmdTarget::OnCmdMsg(id, code, extra, info)) return TRUE;
    return m_pApp && m_pApp->OnCmdMsg(id, code, extra, info);
  } catch (GError* e) {
    gui::ReportError(e);
    // A failed update answers "disabled" here, so that nobody is asked again (and the error
    // reported twice).
    if (code == gui::CN_UPDATE_COMMAND_UI && extra) {
      static_cast<gui::CmdUI*>(extra)->Enable(FALSE);
      return TRUE;
    }
    return FALSE;
  }
}
