// The main frame: the program's window with its menus, the document, operation and view
// toolbars, the option and colour bars, the layer and brush side bars, the status panes and
// the view of the one document. It routes every command through the document, the paint
// space and its current tool, the side bars, the view, itself and the application, inside
// one error catch, and keeps its placement and bar layout in the settings section "windows".
#pragma once
#include <array>
#include <memory>
#include <string>

#include "core/JobRunner.h"
#include "core/ShellServices.h"
#include "platform/gui/Commands.h"
#include "platform/gui/Window.h"

class CTavrikApp;
class CFlowerWnd;
class CTavrikDoc;
class CTavrikView;
class CDocCommands;
class CDlgProgress;
class CLayerBar;
class CFrameLayerAsk;
class CMyListBrush;
class CColorBarView;
class CColorWheel;
class COptionBar;
class CMyDockBar;
class CMyVertBar;
class CSplashWnd;
class QMainWindow;
class QToolBar;
class QDockWidget;
class QLabel;
class QMenu;
class QAction;
class QWidget;
class QString;
namespace gui {
class CommandActions;
}

class CMainFrame : public gui::GWindow, public gui::CmdTarget, public IShellServices {
 public:
  // Status panes: 0 the prompt, 1 the view's scale, 2 the space size, 3 the error notice.
  static constexpr int kPanes = 4;
  static constexpr UINT_PTR kTimerId = 50;
  static constexpr UINT kTimerMs = 500;
  // The splash window goes when the window shows, or after this long when it never does.
  static constexpr UINT kSplashMs = 5000;
  // Whether Create shows the splash window: by default only on a screen, never on the
  // offscreen platform that pictures and tests use; a test may ask for it.
  enum SplashMode { mySPLASH_AUTO, mySPLASH_NEVER, mySPLASH_ALWAYS };
  static void SetSplashMode(SplashMode mode);

  explicit CMainFrame(CTavrikApp* app);
  // Destroys the document with its paint space first, then the bars.
  ~CMainFrame() override;
  CMainFrame(const CMainFrame&) = delete;
  CMainFrame& operator=(const CMainFrame&) = delete;

  static const char16_t* GetClassName() { return u"CMainFrame"; }

  // Builds the window, its bars, the view and an empty document, and restores the placement
  // and bar layout of the last run. FALSE when a part cannot be made.
  BOOL Create();
  // Shows the window (maximised when asked).
  void ShowFrame(BOOL maximized);

  QMainWindow* GetMainWindow() const { return m_pWindow; }
  CTavrikDoc* GetDocument() const { return m_pDoc.get(); }
  CTavrikView* GetView() const { return m_pView.get(); }
  CJobRunner* GetJobRunner() const;
  CDlgProgress* GetProgress() const { return m_pProgress.get(); }
  // The user cancelled the last job run behind the progress dialog.
  bool WasJobCancelled() const;
  gui::CommandActions* GetActions() const { return m_pActions.get(); }
  CLayerBar* GetLayerBar() const { return m_pLayerBar; }
  CColorBarView* GetColorBarView() const { return m_pColorView; }
  // The window a tool hands its option controls to (WM_MYSETOPTIONS).
  HWND GetOptionWindow() const;
  QToolBar* GetToolBar(UINT barCommand) const;
  QDockWidget* GetDock(UINT barCommand) const;
  // The dock bar of a side (DOCK_LEFT, DOCK_RIGHT), and the page bar of a side bar
  // (ID_BAR_LAYER, ID_BAR_BRUSH) that its dock holds, with its window.
  CMyDockBar* GetDockBar(int side) const;
  CMyVertBar* GetVertBar(UINT barCommand) const;
  HWND GetSideBarWindow(UINT barCommand) const;
  BOOL IsSplashShowing() const;
  // The frame that routes the command running on this thread, null outside routing.
  static CMainFrame* GetRoutingFrame();

  // Ends pending edits of the side bars (the paint space asks before it acts).
  void FinishListWork();

  // IShellServices: what tools and panels ask of the frame.
  void PopupRingMenu(int x, int y, CFunctionMenu* menu) override;
  BOOL PopupColorWheel(int x, int y, HSVCOLOR colour, HWND owner, DWORD flags) override;
  BOOL PopupPalette(int x, int y) override;
  // The frame's colour wheel, made on first use; null when it cannot be made.
  CColorWheel* GetColorWheel();
  gui::GWindow* GetOptionBar() override;
  CMyListBrush* GetBrushList() override { return m_pBrushList.get(); }
  int AskCrop(CropQuestion* question) override;
  void ShowStatus(const char16_t* text) override;
  // Writes the brush list's presets file (at the program's end).
  void SaveBrushes();
  // The clone dialog of the brush list; FALSE when cancelled or left without a name.
  BOOL AskBrushName(std::u16string* name, std::u16string* description);
  // The ring menus: translucent or opaque, as the setting nFlowerAlphaEnable asks.
  CFlowerWnd* GetRingMenu(bool translucent) const { return m_apRingMenu[translucent ? 1 : 0].get(); }
  // The window title from the document's name; the recent files in the File menu.
  void UpdateTitle();
  void RefreshRecentFiles();
  // Update-UI of every command and the status panes now.
  void UpdateAll();
  std::u16string GetPaneText(int pane) const;

  // Asks whether to save the document's changes: FALSE when the user cancelled (or the save
  // failed), TRUE when it may go.
  BOOL SaveModified();
  // Saves the document under its path, or asks for one (always with saveAs).
  BOOL SaveDocument(bool saveAs);
  // Over a write-protected file only when the user agrees (the saved file keeps its mode).
  BOOL ConfirmOverwriteProtected(const std::u16string& path);
  // Stores the placement, the side bar sizes and the bar state in the settings.
  void SavePlacement();
  // Closing without asking about the document (screenshots, tests).
  void SetQuiet(bool quiet) { m_bQuiet = quiet; }

  // Command routing: the document (its paint space and the current tool first), the layer
  // list, the brush list and the view while a view is active; then the frame and the
  // application. An error thrown on the way is reported and the command is not handled.
  BOOL OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

  // Called by the window when the user closes it: TRUE lets it close.
  bool OnClose();
  // Closes the window as the user would.
  void Close();
  // Lays the window out at width x height, shows it, waits (at most timeoutMs) until the
  // view shows the composed document, and writes a picture of the window to a PNG file.
  BOOL SaveScreenshot(const std::u16string& path, int width, int height, int timeoutMs);
  // Shows the window at that size and waits until the view has presented a composed picture
  // of the document; FALSE when that did not happen in time.
  BOOL WaitForComposedView(int width, int height, int timeoutMs);

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreateSideBars();
  void CreateDockBars();
  void CloseSplash();
  void CreateStatusBar();
  BOOL CreateRingMenus();
  BOOL CreateDocumentAndView();
  void RestorePlacement();
  // The side bars' docked sizes take effect once the window is laid out.
  void ApplyDockSizes();
  void OnTimer();
  void OnErrorNotice();
  void OnConfigure();
  void ToggleBar(UINT id);
  QWidget* BarOf(UINT id) const;
  void SetPaneText(int pane, const QString& text);

  CTavrikApp* m_pApp;
  QMainWindow* m_pWindow = nullptr;
  std::unique_ptr<gui::CommandActions> m_pActions;
  std::unique_ptr<CDlgProgress> m_pProgress;
  // The view object outlives the document made with it as host.
  std::unique_ptr<CTavrikView> m_pView;
  std::unique_ptr<CTavrikDoc> m_pDoc;
  std::unique_ptr<CDocCommands> m_pDocTarget;
  QToolBar* m_pMainBar = nullptr;
  QToolBar* m_pOperBar = nullptr;
  QToolBar* m_pViewBar = nullptr;
  QToolBar* m_pColorBar = nullptr;
  COptionBar* m_pOptionBar = nullptr;
  // The opaque and the translucent ring menu: a window's translucency is fixed when it is
  // made, and the setting may change while the program runs.
  std::array<std::unique_ptr<CFlowerWnd>, 2> m_apRingMenu;
  QDockWidget* m_pLayerDock = nullptr;
  QDockWidget* m_pBrushDock = nullptr;
  CLayerBar* m_pLayerBar = nullptr;
  std::unique_ptr<CMyListBrush> m_pBrushList;
  CColorBarView* m_pColorView = nullptr;
  // The page bars "图层" and "画笔" the layer and brush docks hold (they draw their own title
  // row), the brush bar's root page, the docks as the dock bars see them, and the dock bars
  // of the left and right sides.
  std::array<std::unique_ptr<CMyVertBar>, 2> m_apVertBar;
  class DockSite;
  std::unique_ptr<DockSite> m_pDockSite;
  std::array<std::unique_ptr<CMyDockBar>, 2> m_apDockBar;
  std::unique_ptr<CSplashWnd> m_pSplash;
  QMenu* m_pFileMenu = nullptr;
  QAction* m_pRecentSeparator = nullptr;
  std::array<QLabel*, kPanes> m_apPane{};
  UINT_PTR m_nTimer = 0;
  // The space size the status pane shows.
  UINT m_uShownWidth = 0;
  UINT m_uShownHeight = 0;
  bool m_bQuiet = false;
  // Docked side bar sizes of the first layout (layer cx, cy, brush cx, cy), used while no
  // stored bar state says otherwise.
  std::array<int, 4> m_anDockSize{};
  bool m_bStateRestored = false;
  std::unique_ptr<CColorWheel> m_pColorWheel;
  // The answers to the layer list's questions (dialogs, progress).
  std::unique_ptr<CFrameLayerAsk> m_pLayerAsk;
};
