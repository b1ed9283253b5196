#include <dlfcn.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "SystemFixture.h"
#include "TestThing.h"
#include "odata/GCompRef.h"

namespace {

std::string PluginPath(const char* file) { return std::string(TEST_PLUGIN_DIR) + "/" + file; }

// Whether the library is loaded in this process, without loading it.
bool IsLoaded(const std::string& path, void** handle = nullptr) {
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) *handle = h;
  if (h) dlclose(h);  // NOLOAD still counts a reference when it finds the library
  return h != nullptr;
}

OTestThing* NewThing(CSystem* sys, const char16_t* name) {
  return GNewObj<OTestThing>(sys, name, u"OTestThing");
}

// A class of the test program itself, registered with AddComponent.
class XLocal final : public GComponent<OComponent> {
 protected:
  void* FindInterface(const char16_t*) override { return nullptr; }
};
const GComponentRecord kLocal = {u"OLocal", u"Local", u"local class", GCreateComponent<XLocal>};
const GComponentRecord kLocalAgain = {u"OLocal", u"Local", u"second local class", GCreateComponent<XLocal>};
const GComponentRecord kNoFactory = {u"OLocal", u"NoFactory", u"no factory", nullptr};

using SystemTest = SystemFixture;

TEST_F(SystemTest, LoadsMatchingLibrariesAndClosesRefusedOnes) {
  EXPECT_EQ(Load(), 5);  // A, C; B (its A is a duplicate); ThrowInit, Thrower
  for (const char* refused : {"c_badheader.so", "d_notable.so", "e_nulltable.so"}) {
    EXPECT_FALSE(IsLoaded(PluginPath(refused))) << refused;
  }
  EXPECT_EQ(sys->FindEntry(u"Refused"), nullptr);

  void* handle = nullptr;
  ASSERT_TRUE(IsLoaded(PluginPath("a_brushes.so"), &handle));
  EXPECT_EQ(sys->FindEntry(u"C")->GetModule(), reinterpret_cast<HMODULE>(handle));
  for (const char* kept : {"b_brushes.so", "f_thrower.so"}) EXPECT_TRUE(IsLoaded(PluginPath(kept))) << kept;

  End();
  EXPECT_FALSE(IsLoaded(PluginPath("a_brushes.so")));
  EXPECT_FALSE(IsLoaded(PluginPath("f_thrower.so")));
}

TEST_F(SystemTest, FirstLibraryInNameOrderKeepsADuplicateName) {
  Load();
  EXPECT_EQ(std::u16string(sys->FindEntry(u"A")->GetDescription()), u"brush A of the first library");
  GCompRef<OTestThing> a = NewThing(sys, u"A");
  GCompRef<OTestThing> b = NewThing(sys, u"B");
  EXPECT_EQ(a->Library(), 1);
  EXPECT_EQ(b->Library(), 2);
  EXPECT_EQ(a->GetInterface(u"GSystem"), static_cast<GSystem*>(sys));
}

// Only the first 100 files in name order are examined, refused ones included.
TEST(SystemLoadLimit, HundredFilesAtMost) {
  for (int junk : {99, 100}) {
    TempFolder home;
    std::filesystem::create_directory(home.Path() / "System");
    for (int i = 0; i < junk; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "%03d.so", i);
      std::ofstream(home.Path() / "System" / name).put('\0');
    }
    std::filesystem::copy_file(PluginPath("a_brushes.so"), home.Path() / "System" / "zz.so");

    CSystem* sys = nullptr;
    GCompRef<OBeing> being = GCreateSystem(u"Tavrik", nullptr, 0, &sys);
    sys->SetModuleFolder(home.U16());
    EXPECT_EQ(sys->LoadComponents(u"System/*.so"), junk == 99 ? 2 : 0) << junk << " files before it";
  }
}

TEST_F(SystemTest, EnumerationDescendsByImplementationName) {
  const char16_t* name = nullptr;
  const char16_t* description = nullptr;
  EXPECT_FALSE(sys->EnumNext(&name, &description));  // no BeginEnum
  EXPECT_FALSE(sys->EndEnum());
  Load();
  EXPECT_FALSE(sys->Next(&name, nullptr));

  struct Case {
    const char16_t* interfaceName;
    std::vector<std::u16string> names;
  };
  const Case cases[] = {
      {u"OBrush", {u"C", u"B", u"A"}},
      {u"OThing", {u"Thrower", u"ThrowInit"}},
      {u"ONothing", {}},
  };
  for (const Case& c : cases) {
    sys->BeginEnum(c.interfaceName);
    std::vector<std::u16string> got;
    while (sys->EnumNext(&name, nullptr)) got.push_back(name);
    EXPECT_FALSE(sys->EnumNext(&name, nullptr));  // stays exhausted
    EXPECT_TRUE(sys->EndEnum());
    EXPECT_EQ(got, c.names) << U8(c.interfaceName);
  }
  EXPECT_FALSE(sys->EnumNext(&name, nullptr));  // after EndEnum

  sys->BeginEnum(u"OBrush");
  ASSERT_TRUE(sys->EnumNext(&name, &description));
  ASSERT_TRUE(sys->EnumNext(&name, &description));
  // A class removed mid-listing neither breaks the walk nor shows.
  sys->DelComponent(u"A");
  EXPECT_EQ(std::u16string(description), u"brush B");
  EXPECT_FALSE(sys->EnumNext(&name, &description));
  sys->EndEnum();
}

TEST_F(SystemTest, EnumerationHoldsTheLockUntilEndEnum) {
  Load();
  sys->BeginEnum(u"OBrush");
  std::atomic<bool> started{false}, created{false};
  std::thread other([&] {
    started = true;
    OComponent* c = sys->NewObj(u"A", nullptr);
    created = true;
    c->AddRef();
    c->Release();
  });
  while (!started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const char16_t* name = nullptr;
  EXPECT_TRUE(sys->EnumNext(&name, nullptr));
  EXPECT_FALSE(created);
  sys->EndEnum();
  other.join();
  EXPECT_TRUE(created);
}

TEST_F(SystemTest, NoNewObjectNamesTheClass) {
  Load();
  ASSERT_NE(sys->AddComponent(&kNoFactory), nullptr);
  for (const char16_t* name : {u"Nope", u"Refused", u"NoFactory"}) {
    try {
      sys->NewObj(name, nullptr);
      ADD_FAILURE() << U8(name);
    } catch (GErrRecord* e) {
      EXPECT_EQ(e->GetKind(), ERR_KIND_CHECK);
      EXPECT_EQ(std::u16string(e->GetText()), u"E: NO_NEW_OBJECT\r\nF: SRC\\GSystem\r\nL: 173\r\n");
      ASSERT_EQ(e->GetPieceCount(), 1u);
      EXPECT_EQ(std::u16string(e->GetPiece(0)->GetText()),
                u"\r\n\u2193 CSystem ::NewObj() " + std::u16string(name) + u" ");
      Free(e);
    }
  }
}

TEST_F(SystemTest, FailedInitialisationReachesTheCaller) {
  Load();
  try {
    sys->NewObj(u"ThrowInit", nullptr);
    ADD_FAILURE() << "no error";
  } catch (GErrRecord* e) {
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!initialised");
    EXPECT_EQ(std::u16string(e->GetPiece(0)->GetText()), u"\r\n\u2193 CSystem ::NewObj() ThrowInit ");
    Free(e);
  }
  EXPECT_EQ(sys->FindEntry(u"ThrowInit")->GetLiveCount(), 0);
  EXPECT_EQ(sys->MakeLeakRecord(), nullptr);
}

TEST_F(SystemTest, ErrorThrownInPluginIsCaughtByType) {
  Load();
  GCompRef<OTestThing> thing = NewThing(sys, u"Thrower");
  try {
    thing->Fail();
    ADD_FAILURE() << "no error";
  } catch (GErrRecord* e) {
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!Library() < 0");
    EXPECT_EQ(std::u16string(e->GetPiece(0)->GetText()), u"\r\n\u2193 XTestThing ::Fail() ");
    Free(e);
  } catch (...) {
    ADD_FAILURE() << "the record's type did not cross the library boundary";
  }
}

TEST_F(SystemTest, LeakRecordListsOnlyClassesWithLiveObjects) {
  Load();
  EXPECT_EQ(sys->MakeLeakRecord(), nullptr);
  {
    GCompRef<OTestThing> a = NewThing(sys, u"A");
    GCompRef<OTestThing> b1 = NewThing(sys, u"B");
    GCompRef<OTestThing> b2 = NewThing(sys, u"B");
    GErrRecord* leak = sys->MakeLeakRecord();
    ASSERT_NE(leak, nullptr);
    EXPECT_EQ(leak->GetKind(), ERR_KIND_WARNING);
    EXPECT_EQ(FullText(leak), u"E: COMPONENT LEAK\r\nF: CSystem\r\nL: 379\r\nN: B 2 \r\n A 1 \r\n ");
    Free(leak);
  }
  EXPECT_EQ(sys->MakeLeakRecord(), nullptr);

  // A threshold of 4 or more hides the warning.
  End();
  Start(4);
  sys->AddComponent(&kLocal);
  GCompRef<OComponent> local = sys->NewObj(u"Local", nullptr);
  EXPECT_EQ(sys->MakeLeakRecord(), nullptr);
}

TEST_F(SystemTest, DelComponent) {
  Load();
  const int32_t entries = CComponentClass::GetInstanceCount();
  EXPECT_FALSE(sys->DelComponent(u"Nope"));

  EXPECT_TRUE(sys->DelComponent(u"C"));  // nothing lives: goes at once
  EXPECT_EQ(sys->FindEntry(u"C"), nullptr);
  EXPECT_EQ(CComponentClass::GetInstanceCount(), entries - 1);
  try {
    sys->NewObj(u"C", nullptr);
    ADD_FAILURE() << "C still registered";
  } catch (GErrRecord* e) {
    Free(e);
  }

  GCompRef<OTestThing> a = NewThing(sys, u"A");
  try {
    sys->DelComponent(u"A");
    ADD_FAILURE() << "no error";
  } catch (GErrRecord* e) {
    EXPECT_EQ(std::u16string(e->GetText()), u"E: !0==pCmt->DeleteMe()\r\nF: SRC\\GSystem\r\nL: 204\r\n");
    EXPECT_EQ(std::u16string(e->GetPiece(0)->GetText()), u"\r\n\u2193 CSystem ::DelComponent() ");
    Free(e);
  }
  EXPECT_EQ(sys->FindEntry(u"A"), nullptr);
  EXPECT_EQ(sys->GetEntryCount(), 3u);
  EXPECT_EQ(CComponentClass::GetInstanceCount(), entries - 1);  // waits for its object
  EXPECT_EQ(a->Library(), 1);
  a.Release();  // the entry goes with it; the library's code stays loaded
  EXPECT_EQ(CComponentClass::GetInstanceCount(), entries - 2);
  EXPECT_TRUE(IsLoaded(PluginPath("a_brushes.so")));
}

// Pins b_brushes.so for the rest of the process: other tests watch a_brushes.so unload.
TEST_F(SystemTest, ObjectOutlivingTheSystemKeepsItsLibrary) {
  Load();
  const int32_t entries = CComponentClass::GetInstanceCount();
  GCompRef<OTestThing> b = NewThing(sys, u"B");
  End();
  EXPECT_EQ(CComponentClass::GetInstanceCount(), entries - 4);  // B waits for its object
  ASSERT_TRUE(IsLoaded(PluginPath("b_brushes.so")));
  EXPECT_FALSE(IsLoaded(PluginPath("a_brushes.so")));
  EXPECT_EQ(b->Library(), 2);
  b.Release();
  EXPECT_EQ(CComponentClass::GetInstanceCount(), entries - 5);
}

TEST_F(SystemTest, AddComponent) {
  OComponentClass* entry = sys->AddComponent(&kLocal);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(sys->AddComponent(&kLocalAgain), nullptr);
  EXPECT_EQ(sys->GetEntryCount(), 1u);
  EXPECT_EQ(std::u16string(entry->GetDescription()), u"local class");
  EXPECT_EQ(entry->GetModule(), nullptr);
  GCompRef<OComponent> local = sys->NewObj(u"Local", nullptr);
  EXPECT_EQ(local->GetInterface(u"GSystem"), static_cast<GSystem*>(sys));
  EXPECT_EQ(sys->FindEntry(u"Local")->GetLiveCount(), 1);
}

TEST_F(SystemTest, ConcurrentCreationKeepsTheLiveCount) {
  Load();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 200; ++i) {
        GCompRef<OComponent> c = sys->NewObj(i % 2 ? u"A" : u"B", nullptr);
        GCompRef<OComponent> d = sys->NewObj(u"A", nullptr);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(sys->FindEntry(u"A")->GetLiveCount(), 0);
  EXPECT_EQ(sys->FindEntry(u"B")->GetLiveCount(), 0);
}

}  // namespace
