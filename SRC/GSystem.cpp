#include "GSystem.h"

#include "platform/base/Files.h"
#include "platform/base/Sync.h"
#include "platform/base/Text.h"

CSystem* g_pSystem = nullptr;

// ---------------------------------------------------------------------------------------
// CModule

CModule::~CModule() {
  if (m_handle && !m_pinned) plat::FreeModule(m_handle);
}

int32_t CModule::Release() {
  int32_t n = --m_count;
  if (n == 0) delete this;
  return n;
}

// ---------------------------------------------------------------------------------------
// CComponentClass

std::atomic<int32_t> CComponentClass::s_instances{0};

CComponentClass::CComponentClass(const GComponentRecord* record, CModule* module)
    : m_module(module), m_record(record) {
  ++s_instances;
}

CComponentClass::~CComponentClass() { --s_instances; }

int32_t CComponentClass::AddRef() {
  GAutoLock lock(m_lock);
  return ++m_live;
}

int32_t CComponentClass::Release() {
  {
    GAutoLock lock(m_lock);
    int32_t n = --m_live;
    if (n != 0 || !m_deleteMe) return n;
  }
  delete this;
  return 0;
}

OComponent* CComponentClass::CreateInstance(GSystem* system, OComponent* outer) {
  return m_record->factory ? m_record->factory(system, outer, this) : nullptr;
}

int32_t CComponentClass::DeleteMe() {
  {
    GAutoLock lock(m_lock);
    int32_t live = m_live;
    if (live != 0) {
      m_deleteMe = true;
      return live;
    }
  }
  delete this;
  return 0;
}

// ---------------------------------------------------------------------------------------
// CSystem

int32_t CSystem::XSystemBeing::Release() {
  int32_t n = --m_count;
  if (n == 0) delete m_owner;
  return n;
}

OBeing* GCreateSystem(const char16_t* name, HWND mainWindow, uint32_t threshold, CSystem** out) {
  CSystem* system = new CSystem(name, mainWindow, threshold);
  if (out) *out = system;
  return system->GetBeing();
}

CSystem::CSystem(const char16_t* name, HWND mainWindow, uint32_t threshold)
    : m_moduleFolder(plat::GetProgramFolder()),
      m_name(name ? name : u""),
      m_mainWindow(mainWindow),
      m_threshold(threshold) {}

CSystem::~CSystem() {
  // An enumeration left open by this thread would leave the lock held.
  while (m_enumDepth > 0) {
    --m_enumDepth;
    m_lock.Leave();
  }
  if (GErrRecord* leak = MakeLeakRecord()) m_errors.PushFront(leak);
  if (m_fatal) WriteErrorLog();
  // Errors first: records made inside a plug-in need its code to be destroyed.
  m_errors.RemoveAll();
  for (auto& [name, entry] : m_registry) entry->DeleteMe();
  m_registry.clear();
  // A module still referenced belongs to an entry whose objects outlive the system; its
  // code must stay loaded for them.
  for (auto& module : m_modules) {
    if (module->GetCount() > 1) module->Pin();
  }
  m_modules.clear();
}

CComponentClass* CSystem::Find(const char16_t* implementationName) {
  if (!implementationName) return nullptr;
  auto it = m_registry.find(implementationName);
  return it == m_registry.end() ? nullptr : it->second;
}

BOOL CSystem::Insert(CComponentClass* entry) {
  const char16_t* name = entry->GetRecord()->implementationName;
  return m_registry.emplace(name, entry).second ? TRUE : FALSE;
}

OComponent* CSystem::NewObj(const char16_t* implementationName, OComponent* outer) {
  GAutoLock lock(m_lock);
  try {
    CComponentClass* entry = Find(implementationName);
    OComponent* component = entry ? entry->CreateInstance(this, outer) : nullptr;
    if (!component) throw new GErrRecord(u"NO_NEW_OBJECT", u"SRC\\GSystem", 173, ERR_KIND_CHECK);
    return component;
  }
  GCATCH(u"CSystem", u"::NewObj()", ->AppendArg(GArgStr(implementationName)))
}

OComponentClass* CSystem::AddComponent(const GComponentRecord* record) {
  if (!record || !record->implementationName) return nullptr;
  GAutoLock lock(m_lock);
  auto* entry = new CComponentClass(record, nullptr);
  if (!Insert(entry)) {
    delete entry;
    return nullptr;
  }
  return entry;
}

BOOL CSystem::DelComponent(const char16_t* implementationName) {
  GAutoLock lock(m_lock);
  try {
    auto it = implementationName ? m_registry.find(implementationName) : m_registry.end();
    if (it == m_registry.end()) return FALSE;
    CComponentClass* pCmt = it->second;
    m_registry.erase(it);
    if (!(0 == pCmt->DeleteMe()))
      throw new GErrRecord(u"!0==pCmt->DeleteMe()", u"SRC\\GSystem", 204, ERR_KIND_CHECK);
    return TRUE;
  }
  GCATCH(u"CSystem", u"::DelComponent()")
}

void CSystem::SetModuleFolder(const std::u16string& folder) {
  GAutoLock lock(m_lock);
  m_moduleFolder = folder;
}

std::u16string CSystem::GetModuleFolder() {
  GAutoLock lock(m_lock);
  return m_moduleFolder;
}

int CSystem::LoadComponents(const char16_t* pattern) {
  GAutoLock lock(m_lock);
  if (!pattern) return int(m_registry.size());
  std::u16string pat(pattern);
  for (char16_t& c : pat) {
    if (c == u'\\') c = u'/';
  }
  size_t slash = pat.rfind(u'/');
  std::u16string folder = m_moduleFolder;
  std::u16string name = pat;
  if (slash != std::u16string::npos) {
    folder += u"/" + pat.substr(0, slash);
    name = pat.substr(slash + 1);
  }
  // "*.so" picks by the ending; any other name is one exact file.
  std::vector<std::u16string> files;
  if (!name.empty() && name[0] == u'*') {
    files = plat::FindFiles(folder, name.substr(1));
  } else {
    for (auto& found : plat::FindFiles(folder, name)) {
      if (found == name) files.push_back(found);
    }
  }
  int examined = 0;
  for (const auto& file : files) {
    if (examined++ == kMaxModuleFiles) break;
    LoadModuleFile(folder + u"/" + file);
  }
  return int(m_registry.size());
}

void CSystem::LoadModuleFile(const std::u16string& path) {
  HMODULE handle = plat::LoadModule(path);
  if (!handle) return;
  auto* exported = static_cast<const GComponentRecord* const*>(
      plat::GetModuleSymbol(handle, GCOMPONENT_TABLE_SYMBOL));
  const GComponentRecord* table = exported ? *exported : nullptr;
  if (!table || !table->description || plat::StrCmp(table->description, GCOMPONENT_TABLE_HEADER) != 0) {
    plat::FreeModule(handle);
    return;
  }
  GCompRef<CModule> module(new CModule(handle));
  bool kept = false;
  for (const GComponentRecord* record = table + 1; record->implementationName; ++record) {
    auto* entry = new CComponentClass(record, module);
    if (Insert(entry)) {
      kept = true;
    } else {
      delete entry;  // the first class of that name stays
    }
    plat::Sleep(10);
  }
  // A library none of whose classes was kept goes at once.
  if (kept) m_modules.push_back(module);
}

void CSystem::BeginEnum(const char16_t* interfaceName) {
  m_lock.Enter();
  ++m_enumDepth;
  m_hasFilter = interfaceName != nullptr;
  m_filter = interfaceName ? interfaceName : u"";
  m_enumStarted = false;
  m_enumCursor.clear();
}

BOOL CSystem::EnumNext(const char16_t** implementationName, const char16_t** description) {
  GAutoLock lock(m_lock);
  if (!m_hasFilter) return FALSE;
  // The cursor is the last name returned, so entries removed meanwhile do no harm.
  auto it = m_enumStarted ? m_registry.lower_bound(m_enumCursor) : m_registry.end();
  m_enumStarted = true;
  while (it != m_registry.begin()) {
    --it;
    const GComponentRecord* record = it->second->GetRecord();
    if (!record->interfaceName || m_filter != record->interfaceName) continue;
    m_enumCursor = it->first;
    if (implementationName) *implementationName = record->implementationName;
    if (description) *description = record->description;
    return TRUE;
  }
  m_enumCursor.clear();  // nothing sorts before "": the listing stays exhausted
  return FALSE;
}

BOOL CSystem::EndEnum() {
  GAutoLock lock(m_lock);
  if (m_enumDepth == 0) return FALSE;
  --m_enumDepth;
  m_hasFilter = false;
  m_filter.clear();
  m_lock.Leave();  // the hold taken by BeginEnum
  return TRUE;
}

void CSystem::ForEachEntry(const std::function<void(const GComponentRecord&)>& fn) {
  GAutoLock lock(m_lock);
  for (auto& [name, entry] : m_registry) fn(*entry->GetRecord());
}

uint32_t CSystem::GetEntryCount() {
  GAutoLock lock(m_lock);
  return uint32_t(m_registry.size());
}

CComponentClass* CSystem::FindEntry(const char16_t* implementationName) {
  GAutoLock lock(m_lock);
  return Find(implementationName);
}

GErrRecord* CSystem::MakeLeakRecord() {
  GAutoLock lock(m_lock);
  if (m_threshold >= 4) return nullptr;
  GErrRecord* record = nullptr;
  // Listing order: descending names.
  for (auto it = m_registry.rbegin(); it != m_registry.rend(); ++it) {
    int32_t live = it->second->GetLiveCount();
    if (live == 0) continue;
    if (!record) {
      record = new GErrRecord(u"COMPONENT LEAK", u"CSystem", 379, ERR_KIND_WARNING);
      record->AddContext()->AppendString(u"N:");
    }
    record->AppendString(it->first.c_str())->AppendArg(GArgInt(live))->AppendString(u"\r\n");
  }
  return record;
}
