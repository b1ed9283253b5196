// The system object: plug-in loading, the registry of component classes, component creation
// by name, enumeration by interface name, the error report and the error log.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "odata/GCompRef.h"
#include "odata/GError.h"
#include "odata/GList.h"
#include "odata/GLock.h"
#include "odata/GSystem.h"

// Posted to the main window for a serious error: wParam is the GError pointer, lParam 0.
constexpr UINT WM_MYERRORNOTICE = 0x8EEE;

// One loaded library. Freed when the last reference goes, unless pinned: a library whose
// objects outlive the system object stays loaded for the rest of the process.
class CModule final : public OBeing {
 public:
  explicit CModule(HMODULE handle) : m_handle(handle) {}
  ~CModule() override;
  int32_t AddRef() override { return ++m_count; }
  int32_t Release() override;

  HMODULE GetHandle() const { return m_handle; }
  int32_t GetCount() const { return m_count; }
  void Pin() { m_pinned = true; }

 private:
  HMODULE m_handle;
  std::atomic<int32_t> m_count{0};
  std::atomic<bool> m_pinned{false};
};

// One registry entry. AddRef/Release count the live objects of the class (every object
// holds one reference); the entry itself belongs to the registry until DeleteMe.
class CComponentClass final : public OComponentClass {
 public:
  CComponentClass(const GComponentRecord* record, CModule* module);
  ~CComponentClass() override;

  int32_t AddRef() override;
  // At 0 with the delete-me flag set the entry deletes itself. It never unloads its
  // library here: this runs inside a component's destructor, in that library's code.
  int32_t Release() override;
  const char16_t* GetDescription() override { return m_record->description; }
  OComponent* CreateInstance(GSystem* system, OComponent* outer) override;
  HMODULE GetModule() override { return m_module ? m_module->GetHandle() : nullptr; }

  // Deletes the entry now and returns 0 when no object lives; otherwise marks it to go
  // with its last object and returns the live count.
  int32_t DeleteMe();

  const GComponentRecord* GetRecord() const { return m_record; }
  int32_t GetLiveCount() const { return m_live; }
  // Entries existing in the process (registered or waiting for their last object).
  static int32_t GetInstanceCount() { return s_instances; }

 private:
  GLock m_lock;
  GCompRef<CModule> m_module;
  std::atomic<int32_t> m_live{0};
  bool m_deleteMe = false;
  const GComponentRecord* m_record;

  static std::atomic<int32_t> s_instances;
};

class CSystem final : public GSystem {
 public:
  static constexpr int kMaxModuleFiles = 100;
  static constexpr int32_t kRecordBudget = 100;
  static constexpr int32_t kNoticeBudget = 3;
  static constexpr uint32_t kLogBufferChars = 0x8000;
  // ERROR.TXT stays below this; the log before it is kept as ERROR.OLD.TXT.
  static constexpr uint64_t kMaxLogBytes = 1 << 20;

  CSystem(const char16_t* name, HWND mainWindow, uint32_t threshold);
  ~CSystem() override;
  CSystem(const CSystem&) = delete;
  CSystem& operator=(const CSystem&) = delete;

  OComponent* NewObj(const char16_t* implementationName, OComponent* outer) override;
  OComponentClass* AddComponent(const GComponentRecord* record) override;
  BOOL DelComponent(const char16_t* implementationName) override;
  int LoadComponents(const char16_t* pattern) override;
  void ReportError(GError* error) override;
  void SetMainWindow(HWND hwnd) override { m_mainWindow = hwnd; }
  HWND GetMainWindow() override { return m_mainWindow; }
  void BeginEnum(const char16_t* interfaceName) override;
  BOOL EnumNext(const char16_t** implementationName, const char16_t** description) override;
  BOOL EndEnum() override;

  // The reference-counted handle that owns the system: at count 0 the system is destroyed.
  OBeing* GetBeing() { return &m_being; }

  // The folder plug-in patterns are relative to (the program folder by default).
  void SetModuleFolder(const std::u16string& folder);
  std::u16string GetModuleFolder();
  // Where ERROR.TXT goes: the folder set here, else $TAVRIK_LOG_DIR (the tests set it), else
  // the module folder when writable, else the user's data folder.
  void SetLogFolder(const std::u16string& folder);
  std::u16string GetLogPath();

  // Every registered class in ascending name order, under the system lock.
  void ForEachEntry(const std::function<void(const GComponentRecord&)>& fn);
  uint32_t GetEntryCount();
  CComponentClass* FindEntry(const char16_t* implementationName);

  BOOL IsFatal() const { return m_fatal ? TRUE : FALSE; }
  uint32_t GetErrorCount();
  // The i-th kept error, newest first; no reference is added.
  GError* GetError(uint32_t i);

  // The "COMPONENT LEAK" record naming every class with live objects (count 0), or null
  // when none lives or the threshold hides warnings.
  GErrRecord* MakeLeakRecord();
  // The build date shown in the log's run heading ("Mmm dd yyyy").
  static const char16_t* GetBuildDate();

 private:
  class XSystemBeing final : public OBeing {
   public:
    explicit XSystemBeing(CSystem* owner) : m_owner(owner) {}
    int32_t AddRef() override { return ++m_count; }
    int32_t Release() override;

   private:
    CSystem* m_owner;
    std::atomic<int32_t> m_count{0};
  };

  CComponentClass* Find(const char16_t* implementationName);
  BOOL Insert(CComponentClass* entry);
  void LoadModuleFile(const std::u16string& path);
  void WriteErrorLog();

  std::map<std::u16string, CComponentClass*> m_registry;
  GList<GError> m_errors;
  std::u16string m_moduleFolder;
  std::u16string m_logFolder;
  GLock m_lock;
  // Enumeration state, touched only by the thread holding the lock.
  bool m_hasFilter = false;
  std::u16string m_filter;
  bool m_enumStarted = false;
  std::u16string m_enumCursor;  // the last name returned; "" once exhausted
  int m_enumDepth = 0;
  std::u16string m_name;
  std::atomic<HWND> m_mainWindow;
  int32_t m_noticeBudget = kNoticeBudget;
  int32_t m_recordBudget = kRecordBudget;
  std::atomic<int32_t> m_fatal{0};
  uint32_t m_threshold;
  // Libraries with at least one registered class; released only when the system ends.
  std::vector<GCompRef<CModule>> m_modules;
  XSystemBeing m_being{this};
};

// Builds the system object, stores it in out and returns its owning handle (count 0; the
// caller AddRefs it and releases it to end the system).
OBeing* GCreateSystem(const char16_t* name, HWND mainWindow, uint32_t threshold, CSystem** out);

// The program's one system object.
extern CSystem* g_pSystem;
