#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "common/Thrown.h"
#include "odata/GCompRef.h"
#include "odata/GError.h"
#include "odata/OData.h"

namespace {

TEST(DataBlock, WriteExactlyTheRestThenOneMoreThrowsAndKeepsTheCursor) {
  GCompRef<OData> d = GNewData(16);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(d->GetBuffer()) % 16, 0u);
  std::vector<BYTE> src(17, 0xAB);
  d->Write(src.data(), 10);
  EXPECT_EQ(ThrownCondition([&] { d->Write(src.data(), 7); }), u"!cbSize<=m_cbSize-m_cbSite");
  EXPECT_EQ(d->GetPosition(), 10u);
  d->Write(src.data(), 6);
  EXPECT_EQ(d->GetPosition(), 16u);
  EXPECT_EQ(ThrownCondition([&] { d->Read(nullptr, 1); }), u"!cbSize<=m_cbSize-m_cbSite");
}

TEST(DataBlock, ReadWithoutDestinationSkipsAndGivesTheAddress) {
  GCompRef<OData> d = GNewData(8);
  const BYTE bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  d->Write(bytes, 8)->Rewind();
  BYTE* at = d->Read(nullptr, 3);
  EXPECT_EQ(at, d->GetBuffer());
  BYTE two[2];
  EXPECT_EQ(d->Read(two, 2), d->GetBuffer() + 3);
  EXPECT_EQ(two[0], 4);
  EXPECT_EQ(two[1], 5);
}

TEST(DataBlock, SizeLimit) {
  EXPECT_EQ(ThrownCondition([] { GNewData(NUVREL_MAX_CONTIGUOUS); }), u"!cbSize<0x10000000");
  GCompRef<OData> empty = GNewData(0);
  EXPECT_EQ(empty->GetSize(), 0u);
}

TEST(FragmentedBlock, FragmentCountsAtTheBorders) {
  struct Case {
    size_t size;
    UINT fragments;
  } cases[] = {{0, 0}, {1, 1}, {0x100000, 1}, {0x100001, 2}, {0x300000, 3}};
  for (const Case& c : cases) {
    NuvrelFragmented* f = (new NuvrelFragmented())->Init(c.size);
    GCompRef<OData> d = f;
    EXPECT_EQ(d->GetFragmentCount(), c.fragments) << c.size;
    EXPECT_EQ(d->GetSize(), c.size);
    EXPECT_EQ(d->GetBuffer(), nullptr);
  }
}

TEST(FragmentedBlock, WritesSplitAtTheBorderAndReadBack) {
  GCompRef<OData> d = (new NuvrelFragmented())->Init(0x100000 * 2 + 5);
  std::vector<BYTE> head(0x100000 - 10, 0);
  d->Write(head.data(), head.size());
  std::vector<BYTE> src(0x100000 + 15);
  std::iota(src.begin(), src.end(), BYTE(1));
  d->Write(src.data(), src.size());  // 10 bytes in fragment 0, the rest beyond
  EXPECT_EQ(d->GetFragment(0)[0x100000 - 10], src[0]);
  EXPECT_EQ(d->GetFragment(0)[0x100000 - 1], src[9]);
  EXPECT_EQ(d->GetFragment(1)[0], src[10]);
  EXPECT_EQ(d->GetFragment(2)[4], src.back());
  EXPECT_EQ(d->GetPosition(), d->GetSize());
  EXPECT_EQ(ThrownCondition([&] { d->Write(src.data(), 1); }), u"!cbSize<=m_cbSize-m_cbSite");

  d->Rewind();
  std::vector<BYTE> back(head.size() + src.size());
  EXPECT_EQ(d->Read(back.data(), back.size()), nullptr);
  EXPECT_TRUE(std::equal(src.begin(), src.end(), back.begin() + long(head.size())));
  d->Rewind();
  EXPECT_EQ(ThrownCondition([&] { d->Read(nullptr, 1); }), u"!lpOut");
}

}  // namespace
