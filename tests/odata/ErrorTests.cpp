#include <gtest/gtest.h>

#include <string>

#include "common/FakeSystem.h"
#include "odata/GError.h"

namespace {

std::u16string Copy(GError* e, uint32_t cch) {
  std::u16string buf(cch ? cch : 1, u'#');
  uint32_t n = e->CopyText(buf.data(), cch);
  if (cch && cch <= 0x10000) {
    EXPECT_EQ(buf[n], u'\0');
  }
  return buf.substr(0, n);
}

struct Holder {
  GErrRecord* e;
  explicit Holder(GErrRecord* r) : e(r) { e->AddRef(); }
  ~Holder() { e->Release(); }
};

void FailingCheck(int x) {
  try {
    GCHECK(x > 3);
  }
  GCATCH(u"CTest", u"::FailingCheck()", ->AppendArg(GArgInt(x)))
}

TEST(ErrorRecord, TextAndTrailFromACatchSite) {
  try {
    FailingCheck(2);
    FAIL() << "no throw";
  } catch (GError* caught) {  // catchable by its base too
    Holder h(static_cast<GErrRecord*>(caught));
    std::u16string full = Copy(h.e, 4096);
    std::u16string head = u"E: !x > 3\r\nF: tests/odata/ErrorTests.cpp\r\nL: ";
    EXPECT_EQ(full.substr(0, head.size()), head) << U8(full);
    EXPECT_NE(full.find(u"\r\n\u2193 CTest ::FailingCheck() 2 "), std::u16string::npos) << U8(full);
    EXPECT_EQ(h.e->GetKind(), ERR_KIND_CHECK);
    EXPECT_EQ(std::u16string(h.e->GetCondition()), u"!x > 3");
  }
}

TEST(ErrorRecord, ArgumentFormats) {
  struct Case {
    GArg arg;
    std::u16string text;
  } cases[] = {
      {GArgInt(-5), u"-5 "},
      {GArgUint(4000000000u), u"4000000000 "},
      {GArgFloat(1.5f), u"1.500000 "},
      {GArgStr(u"abc"), u"abc "},
      {GArgStr(nullptr), u" "},
      {GArg{7, 0, 'x'}, u"??? "},
      {GArg{7, 0, 0x65}, u"??? "},  // just below the known letters
  };
  for (const Case& c : cases) {
    Holder h(new GErrRecord(u"c", u"f", 1, 6));
    h.e->AddContext()->AppendArg(c.arg);
    EXPECT_EQ(std::u16string(h.e->GetPiece(0)->GetText()), c.text);
  }
  Holder h(new GErrRecord(u"c", u"f", 1, 6));
  int probe = 0;
  h.e->AddContext()->AppendArg(GArgPtr(&probe));
  EXPECT_GT(h.e->GetPiece(0)->GetLength(), 2u);
}

TEST(ErrorRecord, MemoryDumps) {
  Holder h(new GErrRecord(u"c", u"f", 1, 6));
  uint32_t words[2] = {0xDEADBEEF, 0x12};
  h.e->AddContext()->AppendMemory({7, words});  // one whole word only
  EXPECT_EQ(std::u16string(h.e->GetPiece(0)->GetText()), u"_DEADBEEF ");
  h.e->AddContext()->AppendMemory({8, nullptr});
  EXPECT_EQ(std::u16string(h.e->GetPiece(0)->GetText()), u"_NULL ");
  h.e->AddContext()->AppendMemory({8, reinterpret_cast<void*>(uintptr_t(16))});
  EXPECT_EQ(std::u16string(h.e->GetPiece(0)->GetText()), u"_BAD_PTR ");
}

TEST(ErrorRecord, AtMostOneHundredPiecesAndTheLastTakesTheRest) {
  Holder h(new GErrRecord(u"c", u"f", 1, 6));
  for (int i = 0; i < 101; ++i) h.e->AddContext()->AppendArg(GArgInt(i));
  EXPECT_EQ(h.e->GetPieceCount(), 100u);
  EXPECT_EQ(std::u16string(h.e->GetPiece(0)->GetText()), u"99 100 ");
  EXPECT_EQ(std::u16string(h.e->GetPiece(99)->GetText()), u"0 ");
}

TEST(ErrorRecord, PieceOverflowIsCutAndTerminated) {
  Holder h(new GErrRecord(u"c", u"f", 1, 6));
  std::u16string longText(300, u'a');
  h.e->AddContext()->AppendString(longText.c_str())->AppendString(u"more");
  const GText* piece = h.e->GetPiece(0);
  EXPECT_EQ(piece->GetLength(), 255u);
  EXPECT_EQ(std::u16string(piece->GetText()), std::u16string(255, u'a'));
}

TEST(ErrorRecord, CopyTextLimits) {
  Holder h(new GErrRecord(u"cond", u"file", 7, 6));
  h.e->AddContext()->AppendString(u"older");
  h.e->AddContext()->AppendString(u"newer");
  const std::u16string full = u"E: cond\r\nF: file\r\nL: 7\r\n";
  struct Case {
    uint32_t cch;
    std::u16string expect;
  } cases[] = {
      {0, u""},
      {1, u""},
      {10, full.substr(0, 9)},
      {uint32_t(full.size() + 1), full},                      // no room for a piece
      {uint32_t(full.size() + 7), full},                      // "newer " needs one more
      {uint32_t(full.size() + 8), full + u"newer "},          // newest first
      {0x10000, full + u"newer older "},
      {0x10001, u""},
  };
  for (const Case& c : cases) {
    std::u16string buf(c.cch ? c.cch : 1, u'#');
    uint32_t n = h.e->CopyText(buf.data(), c.cch);
    EXPECT_EQ(buf.substr(0, n), c.expect) << "cch " << c.cch;
    if (c.cch && c.cch <= 0x10000) {
      EXPECT_EQ(buf[n], u'\0') << "cch " << c.cch;
    }
  }
  // A newer piece that does not fit ends the trail: the older, shorter one after it would
  // put the trail out of order.
  Holder g(new GErrRecord(u"cond", u"file", 7, 6));
  g.e->AddContext()->AppendString(u"old");
  g.e->AddContext()->AppendString(u"a much newer piece");
  EXPECT_EQ(Copy(g.e, uint32_t(full.size() + 10)), full);
  EXPECT_EQ(Copy(g.e, 0x10000), full + u"a much newer piece old ");

  // The plain error form copies only its full text, under the same limits.
  GError* plain = new GError(u"cond", u"file", 7, 6);
  plain->AddRef();
  EXPECT_EQ(Copy(plain, 0x10000), full);
  EXPECT_EQ(Copy(plain, 0x10001), u"");
  plain->Release();
}

}  // namespace
