// The program's application object: start-up in its fixed order, the user's settings, the
// error hook that keeps the program going, the commands of the application (new, open,
// recent files, about, help, exit) and the shut-down order.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "core/LayerClipboard.h"
#include "core/PaintSpace.h"
#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "odata/OLayer.h"
#include "odata/OShowDevice.h"
#include "platform/gui/Commands.h"
#include "platform/gui/Font.h"

class CSystem;
class CMainFrame;
class CTavrikDoc;

// The "Configure" settings with their bounds; a stored value outside them is clamped.
struct ConfigureSetting {
  const char16_t* key;
  int def;  // when absent from the store
  int min;
  int max;
};
extern const ConfigureSetting kConfigure[7];

// What the start-up is given: the command line's document and, for tests, other folders.
struct TavrikStartup {
  std::u16string strFile;           // a document to open; empty: none
  std::u16string strProgramFolder;  // the sample and help live here; empty: the program's
  std::u16string strModuleFolder;   // holds System/*.so; empty: the program folder
  bool bShowWindow = true;
};

class CTavrikApp : public gui::CmdTarget {
 public:
  enum Phase : int { myPHASE_INIT = 0, myPHASE_FIRSTDOC = 1, myPHASE_RUN = 2 };

  CTavrikApp();
  // Tears down in the fixed order: the frame with its document, the clipboard, the display
  // device, then the system object with the plug-ins.
  ~CTavrikApp() override;
  CTavrikApp(const CTavrikApp&) = delete;
  CTavrikApp& operator=(const CTavrikApp&) = delete;

  static const char16_t* GetClassName() { return u"CTavrikApp"; }

  // Starts the program: the system object "Tavrik", the plug-ins, the display device, the
  // settings, the main frame and the first document. FALSE when the program cannot start;
  // an error on the way has then gone to the error report.
  BOOL InitInstance(const TavrikStartup& startup);
  // Writes the settings; the exit code.
  int ExitInstance();

  void LoadConfigure();
  void SaveConfigure();
  // Releases the internal layer clipboard. Every error that escapes a handler does this.
  void ClearClipboard();

  // The two interface fonts made at start-up: "Tahoma" of height 14 (lists, labels) and of
  // height 13 (option bars and small texts).
  gui::HFONT GetFont14() const { return m_hFont14; }
  gui::HFONT GetFont13() const { return m_hFont13; }

  int GetPhase() const { return m_nPhase; }
  CSystem* GetSystem() const { return m_pSystem; }
  OShowDevice* GetShowDevice() const { return m_cpShowDevice.get(); }
  CMainFrame* GetMainFrame() const { return m_pFrame.get(); }
  CTavrikDoc* GetDocument() const;
  // The steps start-up took, in order (shown by --list-components and checked by tests).
  const std::vector<std::u16string>& GetStartupJournal() const { return m_journal; }
  const std::u16string& GetProgramFolder() const { return m_strProgramFolder; }
  // The help file: the program's path with the extension ".chm".
  std::u16string GetHelpPath() const;
  // The first page of the user guide installed beside the program.
  std::u16string GetGuidePath() const;

  // Up to four recent documents, the newest first.
  const std::vector<std::u16string>& GetRecentFiles() const { return m_recent; }
  void AddToRecentFileList(const std::u16string& path);
  // Opens a document into the frame's document; tells the user when it cannot be opened.
  // Asks first whether to save the changes of the open document.
  BOOL OpenDocumentFile(const std::u16string& path);

  // Settings. The space size is handed to every new document (the space's size command
  // changes it too).
  int nTabletPressure = 75;
  int nMouseClickInterval = 200;
  int nMouseTolerance = 1;
  NewSpaceSize m_spaceSize{2000, 2000};
  int nStartupCreateLayer = 1;
  int nFlowerAlphaEnable = 0;

  // The internal layer clipboard.
  LayerClipboard m_clipboard;

 private:
  void Step(const char16_t* name, const std::u16string& detail = {});
  BOOL OpenFirstDocument(const TavrikStartup& startup);
  void LoadRecentFiles();
  void SaveRecentFiles();
  void OnFileNew();
  void OnFileOpen();
  void OnFileMru(UINT id);
  void OnHelp();

  int m_nPhase = myPHASE_INIT;
  gui::HFONT m_hFont14 = nullptr;
  gui::HFONT m_hFont13 = nullptr;
  // The system object's owning handle; released last.
  GCompRef<OBeing> m_cpSystem;
  CSystem* m_pSystem = nullptr;
  GCompRef<OShowDevice> m_cpShowDevice;
  std::unique_ptr<CMainFrame> m_pFrame;
  std::u16string m_strProgramFolder;
  std::vector<std::u16string> m_recent;
  std::vector<std::u16string> m_journal;
  bool m_bHookInstalled = false;
};

// The one application object while it lives.
extern CTavrikApp* g_pTavrikApp;
