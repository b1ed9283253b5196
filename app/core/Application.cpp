#include "Application.h"

#include <algorithm>
#include <climits>
#include <string>

#include "SRC/GSystem.h"
#include "core/MyFile.h"
#include "core/StringTable.h"
#include "core/TavrikDoc.h"
#include "frame/MainFrame.h"
#include "frame/Resource.h"
#include "frame/ResourceArt.h"
#include "frame/Shell.h"
#include "odata/GError.h"
#include "panels/MyListBrush.h"
#include "platform/base/Files.h"
#include "tools/OperPaint.h"
#include "tools/OperPolygon.h"
#include "platform/base/Text.h"
#include "platform/gui/Application.h"
#include "platform/gui/ErrorHook.h"
#include "platform/gui/Settings.h"

CTavrikApp* g_pTavrikApp = nullptr;

const ConfigureSetting kConfigure[7] = {
    {u"nTabletPressure", 75, 0, 100},    {u"nMouseClickInterval", 300, 50, 2000}, {u"nMouseTolerance", 1, 0, 20},
    {u"nSpaceWidth", 1000, 1, 10000},    {u"nSpaceHeight", 1000, 1, 10000},      {u"nStartupCreateLayer", 1, 0, 2},
    {u"nFlowerAlphaEnable", 0, 0, 1},
};

namespace {

constexpr const char16_t* kClass = u"CTavrikApp";
constexpr const char16_t* kRecentSection = u"Recent File List";

std::u16string RecentKey(size_t i) { return u"File" + plat::Widen(std::to_string(i + 1)); }

}  // namespace

CTavrikApp::CTavrikApp() {
  g_pTavrikApp = this;
  OnCommand(ID_FILE_NEW, [this] { OnFileNew(); });
  OnCommand(ID_FILE_OPEN, [this] { OnFileOpen(); });
  OnCommandRange(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE1 + RECENT_FILE_COUNT - 1, [this](UINT id) { OnFileMru(id); });
  OnCommand(ID_APP_ABOUT, [this] { shell::ShowAbout(m_pFrame.get()); });
  OnCommand(ID_APP_HELP, [this] { OnHelp(); });
  OnCommand(ID_APP_EXIT, [this] {
    if (m_pFrame) m_pFrame->Close();
  });
}

CTavrikApp::~CTavrikApp() {
  // The frame takes the document and its paint space with it; then what the application
  // holds; the system object, and with it the plug-in libraries, goes last.
  m_pFrame.reset();
  ClearClipboard();
  m_cpShowDevice.Release();
  if (m_bHookInstalled) gui::SetErrorHandler(nullptr);
  if (g_pSystem == m_pSystem) g_pSystem = nullptr;
  m_pSystem = nullptr;
  m_cpSystem.Release();
  gui::DeleteObject(m_hFont14);
  gui::DeleteObject(m_hFont13);
  if (g_pTavrikApp == this) g_pTavrikApp = nullptr;
}

void CTavrikApp::Step(const char16_t* name, const std::u16string& detail) {
  m_journal.push_back(detail.empty() ? std::u16string(name) : std::u16string(name) + u" " + detail);
}

CTavrikDoc* CTavrikApp::GetDocument() const { return m_pFrame ? m_pFrame->GetDocument() : nullptr; }

BOOL CTavrikApp::InitInstance(const TavrikStartup& startup) {
  try {
    Step(u"command line", startup.strFile);
    shell::SetupInterface();
    m_hFont14 = gui::CreateFont(14, gui::FW_THIN, u"Tahoma");
    m_hFont13 = gui::CreateFont(13, gui::FW_THIN, u"Tahoma");
    Step(u"font");
    // The texts, pictures and cursors the panels and tools load by number.
    RegisterProgramStrings();
    RegisterProgramResources();

    CSystem* system = nullptr;
    m_cpSystem = GCreateSystem(u"Tavrik", nullptr, 0, &system);
    m_pSystem = system;
    g_pSystem = system;
    Step(u"system", u"Tavrik");
    // From here on an error that escapes any handler empties the clipboard, goes to the
    // system object's report, and the program goes on.
    gui::SetErrorHandler([this](GError* error) {
      ClearClipboard();
      if (m_pSystem) m_pSystem->ReportError(error);
    });
    m_bHookInstalled = true;

    m_strProgramFolder = startup.strProgramFolder.empty() ? plat::GetProgramFolder() : startup.strProgramFolder;
    if (!startup.strModuleFolder.empty()) m_pSystem->SetModuleFolder(startup.strModuleFolder);
    const int classes = m_pSystem->LoadComponents(u"System/*.so");
    Step(u"components", plat::Widen(std::to_string(classes)));

    m_cpShowDevice = GNewObj<OShowDevice>(m_pSystem, u"XShowDevice", u"OShowDevice");
    GVERIFY(m_cpShowDevice, u"!m_cpShowDevice");
    Step(u"XShowDevice");
    // Pen input comes with the windowing system's tablet events: nothing to load.
    Step(u"tablet");
    if (!shell::HasDisplay()) return FALSE;
    Step(u"display");

    // What saves of an earlier run, killed on the way, left beside their documents goes.
    CMyFileSave::RemoveKilledSaves();
    LoadRecentFiles();
    LoadConfigure();
    Step(u"settings");

    m_pFrame = std::make_unique<CMainFrame>(this);
    if (!m_pFrame->Create()) return FALSE;
    Step(u"frame");

    m_nPhase = myPHASE_FIRSTDOC;
    m_pSystem->SetMainWindow(m_pFrame->GetSafeHwnd());
    if (!OpenFirstDocument(startup)) return FALSE;

    m_nPhase = myPHASE_RUN;
    if (startup.bShowWindow) {
      const int maximized = gui::Settings::ReadInt(u"windows", u"main.bMaximized", 0, INT_MIN, INT_MAX);
      m_pFrame->ShowFrame(maximized != 0);
      Step(maximized ? u"show maximized" : u"show");
    }
    // A presets file that could not be read whole is told of once the window is up.
    if (CMyListBrush* brushes = m_pFrame->GetBrushList()) brushes->ShowLoadNotice();
    return TRUE;
  } catch (GErrRecord* e) {
    GTrace(e, kClass, u"::InitInstance()");
    if (m_bHookInstalled) {
      gui::ReportError(e);
    } else {
      e->AddRef();
      if (m_pSystem) m_pSystem->ReportError(e);
      e->Release();
    }
    return FALSE;
  } catch (...) {
    if (m_bHookInstalled) gui::ReportCurrentException();
    return FALSE;
  }
}

BOOL CTavrikApp::OpenFirstDocument(const TavrikStartup& startup) {
  CTavrikDoc* doc = GetDocument();
  if (!startup.strFile.empty()) {
    Step(u"open", startup.strFile);
    if (doc->LoadFile(startup.strFile)) {
      AddToRecentFileList(startup.strFile);
      m_pFrame->UpdateTitle();
      return TRUE;
    }
    const std::u16string text = RefusalText(u"无法打开文档：\n" + startup.strFile, doc->GetLastReason());
    gui::MessageBox(nullptr, text.c_str(), u"Tavrik", gui::MB_OK | gui::MB_ICONERROR);
    return FALSE;
  }
  if (gui::Settings::ReadInt(u"Settings", u"bIsFirstRun", 1, INT_MIN, INT_MAX) != 0) {
    const std::u16string sample = m_strProgramFolder + u"/sample/0.kelv";
    if (doc->LoadFile(sample)) {
      Step(u"sample", sample);
      m_pFrame->UpdateTitle();
      return TRUE;
    }
    Step(u"new", u"0");
    doc->NewDocument(CTavrikDoc::myNEW_EMPTY);
  } else {
    Step(u"new", plat::Widen(std::to_string(nStartupCreateLayer)));
    doc->NewDocument(nStartupCreateLayer);
  }
  m_pFrame->UpdateTitle();
  return TRUE;
}

int CTavrikApp::ExitInstance() {
  if (m_pFrame) m_pFrame->SaveBrushes();
  SaveConfigure();
  return 0;
}

void CTavrikApp::LoadConfigure() {
  int* const members[7] = {&nTabletPressure,         &nMouseClickInterval,           &nMouseTolerance,
                           &m_spaceSize.nSpaceWidth, &m_spaceSize.nSpaceHeight, &nStartupCreateLayer,
                           &nFlowerAlphaEnable};
  for (size_t i = 0; i < 7; ++i) {
    const ConfigureSetting& s = kConfigure[i];
    *members[i] = gui::Settings::ReadInt(u"Configure", s.key, s.def, s.min, s.max);
  }
  COperPaint::s_nTabletPressure = nTabletPressure;
  COperPolygon::s_nClickInterval = nMouseClickInterval;
}

void CTavrikApp::SaveConfigure() {
  gui::Settings::WriteInt(u"Settings", u"bIsFirstRun", 0);
  const int values[7] = {nTabletPressure,         nMouseClickInterval,       nMouseTolerance,   m_spaceSize.nSpaceWidth,
                         m_spaceSize.nSpaceHeight, nStartupCreateLayer, nFlowerAlphaEnable};
  for (size_t i = 0; i < 7; ++i) gui::Settings::WriteInt(u"Configure", kConfigure[i].key, values[i]);
  SaveRecentFiles();
  gui::Settings::Flush();
}

void CTavrikApp::ClearClipboard() {
  m_clipboard.Clear();
}

std::u16string CTavrikApp::GetHelpPath() const {
  std::u16string name = shell::ProgramFileName();
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) name.resize(dot);
  return m_strProgramFolder + u"/" + name + u".chm";
}

std::u16string CTavrikApp::GetGuidePath() const { return m_strProgramFolder + u"/guide/index.html"; }

// ---------------------------------------------------------------------------------------------
// Recent files

void CTavrikApp::LoadRecentFiles() {
  m_recent.clear();
  for (size_t i = 0; i < RECENT_FILE_COUNT; ++i) {
    std::u16string path = gui::Settings::ReadString(kRecentSection, RecentKey(i).c_str());
    if (!path.empty() && std::find(m_recent.begin(), m_recent.end(), path) == m_recent.end())
      m_recent.push_back(std::move(path));
  }
}

void CTavrikApp::SaveRecentFiles() {
  for (size_t i = 0; i < RECENT_FILE_COUNT; ++i) {
    if (i < m_recent.size()) gui::Settings::WriteString(kRecentSection, RecentKey(i).c_str(), m_recent[i].c_str());
    else gui::Settings::Remove(kRecentSection, RecentKey(i).c_str());
  }
}

void CTavrikApp::AddToRecentFileList(const std::u16string& typed) {
  if (typed.empty()) return;
  // Stored from the root: the list is used from whatever folder the program starts in.
  const std::u16string path = plat::AbsolutePath(typed);
  m_recent.erase(std::remove(m_recent.begin(), m_recent.end(), path), m_recent.end());
  m_recent.insert(m_recent.begin(), path);
  if (m_recent.size() > RECENT_FILE_COUNT) m_recent.resize(RECENT_FILE_COUNT);
  if (m_pFrame) m_pFrame->RefreshRecentFiles();
}

// ---------------------------------------------------------------------------------------------
// Commands

BOOL CTavrikApp::OpenDocumentFile(const std::u16string& path) {
  if (!m_pFrame || !m_pFrame->SaveModified()) return FALSE;
  CTavrikDoc* doc = GetDocument();
  const BOOL ok = doc->LoadFile(path);
  if (ok) {
    AddToRecentFileList(path);
  } else if (!m_pFrame->WasJobCancelled()) {
    const std::u16string text = RefusalText(u"无法打开文档：\n" + path, doc->GetLastReason());
    gui::MessageBox(m_pFrame->GetSafeHwnd(), text.c_str(), u"Tavrik", gui::MB_OK | gui::MB_ICONERROR);
  }
  m_pFrame->UpdateTitle();
  return ok;
}

void CTavrikApp::OnFileNew() {
  try {
    if (!m_pFrame || !m_pFrame->SaveModified()) return;
    int kind = nStartupCreateLayer, width = m_spaceSize.nSpaceWidth, height = m_spaceSize.nSpaceHeight;
    if (!shell::AskNewDocument(m_pFrame.get(), &kind, &width, &height)) return;
    m_spaceSize.nSpaceWidth = std::clamp(width, 1, 10000);
    m_spaceSize.nSpaceHeight = std::clamp(height, 1, 10000);
    GetDocument()->NewDocument(kind);
    m_pFrame->UpdateTitle();
  }
  GCATCH(kClass, u"::OnFileNew()")
}

void CTavrikApp::OnFileOpen() {
  try {
    if (!m_pFrame) return;
    const std::u16string path = shell::AskOpenPath(m_pFrame.get());
    if (!path.empty()) OpenDocumentFile(path);
  }
  GCATCH(kClass, u"::OnFileOpen()")
}

void CTavrikApp::OnFileMru(UINT id) {
  try {
    const size_t i = id - ID_FILE_MRU_FILE1;
    if (i >= m_recent.size()) return;
    const std::u16string path = m_recent[i];
    // A file that is gone leaves the list.
    if (!OpenDocumentFile(path) && !plat::FileExists(path)) {
      m_recent.erase(std::remove(m_recent.begin(), m_recent.end(), path), m_recent.end());
      if (m_pFrame) m_pFrame->RefreshRecentFiles();
    }
  }
  GCATCH(kClass, u"::OnFileMru()", ->AppendArg(GArgUint(id)))
}

void CTavrikApp::OnHelp() {
  const std::u16string path = GetHelpPath();
  HWND owner = m_pFrame ? m_pFrame->GetSafeHwnd() : nullptr;
  // The compiled help when it is there and something can show it; else the guide installed
  // beside the program, in the user's browser.
  if (plat::FileExists(path)) {
    const std::u16string viewer = shell::FindHelpViewer();
    if (!viewer.empty() && shell::StartHelpViewer(viewer, path)) return;
  }
  const std::u16string guide = GetGuidePath();
  if (!plat::FileExists(guide)) {
    const std::u16string text = u"找不到帮助文件：\n" + path + u"\n" + guide;
    gui::MessageBox(owner, text.c_str(), u"帮助", gui::MB_OK | gui::MB_ICONINFORMATION);
  } else if (!gui::OpenWithDesktop(guide.c_str())) {
    const std::u16string text = u"无法打开帮助：\n" + guide;
    gui::MessageBox(owner, text.c_str(), u"帮助", gui::MB_OK | gui::MB_ICONWARNING);
  }
}
