#include <gtest/gtest.h>

#include "common/FakeSystem.h"
#include "odata/GCompRef.h"
#include "odata/GList.h"
#include "odata/OComponent.h"

namespace {

struct OProbe : OComponent {
  virtual int Value() = 0;
};

int g_destroyed = 0;

class XProbe final : public GComponent<OProbe> {
 public:
  ~XProbe() override { ++g_destroyed; }
  int Value() override { return 42; }

 protected:
  void* FindInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OProbe") == 0 ? static_cast<OProbe*>(this) : nullptr;
  }
};

class XFailing final : public GComponent<OProbe> {
 public:
  void InitInstance() override { GTHROW(u"!init"); }
  int Value() override { return 0; }

 protected:
  void* FindInterface(const char16_t*) override { return nullptr; }
};

// A plain outer object that counts the calls forwarded to it.
struct Outer final : OComponent {
  int adds = 0, releases = 0;
  int32_t AddRef() override { return ++adds; }
  int32_t Release() override { return ++releases; }
  void* GetInterface(const char16_t* name) override {
    return plat::StrCmp(name, u"OOuter") == 0 ? this : nullptr;
  }
};

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_destroyed = 0;
    sys.Register(u"XProbe", GCreateComponent<XProbe>);
    sys.Register(u"XFailing", GCreateComponent<XFailing>);
  }
  FakeSystem sys;
};

TEST_F(ComponentTest, InterfacesByName) {
  OComponent* c = sys.NewObj(u"XProbe", nullptr);
  c->AddRef();
  EXPECT_EQ(c->GetInterface(u"GSystem"), static_cast<GSystem*>(&sys));
  auto* being = static_cast<OBeing*>(c->GetInterface(u"m_xBeing"));
  ASSERT_NE(being, nullptr);
  EXPECT_NE(static_cast<void*>(being), static_cast<void*>(c));
  EXPECT_EQ(static_cast<OProbe*>(c->GetInterface(u"OProbe"))->Value(), 42);
  EXPECT_EQ(c->GetInterface(u"OProbeX"), nullptr);
  EXPECT_EQ(c->GetInterface(nullptr), nullptr);
  EXPECT_EQ(sys.Entry(u"XProbe")->Refs(), 1);  // the object pins its class
  EXPECT_EQ(c->Release(), 0);
  EXPECT_EQ(g_destroyed, 1);
  EXPECT_EQ(sys.Entry(u"XProbe")->Refs(), 0);
}

TEST_F(ComponentTest, AggregatedObjectForwardsCountsAndUnknownNames) {
  Outer outer;
  OComponent* c = sys.NewObj(u"XProbe", &outer);
  auto* being = static_cast<OBeing*>(c->GetInterface(u"m_xBeing"));
  being->AddRef();  // the aggregating object holds the inner one this way
  c->AddRef();
  c->AddRef();
  c->Release();
  EXPECT_EQ(outer.adds, 2);
  EXPECT_EQ(outer.releases, 1);
  EXPECT_EQ(c->GetInterface(u"OOuter"), &outer);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(being->Release(), 0);  // only the inner count destroys it
  EXPECT_EQ(g_destroyed, 1);
}

TEST_F(ComponentTest, FailedInitialisationFreesTheObjectAndReleasesTheEntry) {
  try {
    sys.NewObj(u"XFailing", nullptr);
    FAIL();
  } catch (GErrRecord* e) {
    e->AddRef();
    EXPECT_EQ(std::u16string(e->GetCondition()), u"!init");
    e->Release();
  }
  EXPECT_EQ(sys.Entry(u"XFailing")->Refs(), 0);
}

TEST_F(ComponentTest, SmartPointerHoldsOneReference) {
  GCompRef<OComponent> a = sys.NewObj(u"XProbe", nullptr);
  {
    GCompRef<OComponent> b = a;
    b = a.get();  // self-assignment of the same pointer keeps it alive
    EXPECT_TRUE(b.IsValid());
  }
  EXPECT_EQ(g_destroyed, 0);
  a.Release();
  EXPECT_FALSE(a.IsValid());
  EXPECT_EQ(g_destroyed, 1);
}

// A counted item for list tests.
struct Item final : OBeing {
  int id;
  int refs = 0;
  explicit Item(int i) : id(i) {}
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
};

TEST(List, InsertFollowsTheCursorAndHoldsReferences) {
  Item a(1), b(2), c(3), d(4);
  GList<Item> list;
  list.Insert(nullptr);
  EXPECT_EQ(list.GetCount(), 0u);
  list.Insert(&a);  // first node: head and cursor
  list.Insert(&b);  // after the cursor
  list.MoveNext();  // cursor to b
  list.Insert(&c);  // after b
  std::vector<int> order;
  list.ForEach([&](Item* i) { order.push_back(i->id); });
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(list.GetTail(), &c);
  list.Rewind();
  list.Insert(&d);  // no cursor: before the head
  EXPECT_EQ(list.GetHead(), &d);
  EXPECT_EQ(a.refs + b.refs + c.refs + d.refs, 4);

  list.Rewind();
  EXPECT_FALSE(list.RemoveAt());
  list.MoveNext();
  list.MoveNext();  // a
  EXPECT_TRUE(list.RemoveAt());
  EXPECT_EQ(a.refs, 0);
  EXPECT_EQ(list.GetCount(), 3u);
  list.Truncate(1);
  EXPECT_EQ(list.GetCount(), 1u);
  EXPECT_EQ(list.GetTail(), &d);
  EXPECT_EQ(b.refs + c.refs, 0);
  list.RemoveAll();
  EXPECT_EQ(d.refs, 0);
  EXPECT_EQ(list.GetHead(), nullptr);
}

TEST(List, NewestFirstAndOrderedUses) {
  Item a(1), b(2), c(3);
  GList<Item> newest, ordered;
  for (Item* i : {&a, &b, &c}) newest.PushFront(i), ordered.Append(i);
  EXPECT_EQ(newest.GetHead(), &c);
  EXPECT_EQ(ordered.GetHead(), &a);
  EXPECT_EQ(ordered.GetTail(), &c);
  Item* taken = ordered.DetachHead();
  EXPECT_EQ(taken, &a);
  EXPECT_EQ(a.refs, 2);  // the list's reference went to the caller
  taken->Release();
  EXPECT_TRUE(newest.Remove(&b));
  EXPECT_EQ(newest.GetIndex(1), &a);
  EXPECT_EQ(newest.GetTail(), &a);
}

}  // namespace
