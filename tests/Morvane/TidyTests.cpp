// The tidy pass as one table: entries from the top of the list down, the words the device
// gives them, and the words, masks and bases the pass settles.
#include <gtest/gtest.h>

#include <vector>

#include "TidyPass.h"
#include "odata/OLayer.h"

namespace {

constexpr uint32_t V = LYR_TIDY_VISIBLE, C = LYR_TIDY_C32, NB = LYR_TIDY_NESTBASE, N = LYR_TIDY_NESTED,
                   M = LYR_TIDY_MASKED, GD = LYR_TIDY_GLASSED, GS = LYR_TIDY_GLASS, CUR = LYR_TIDY_CURRENT;
constexpr int A16 = OLayer::myFORMAT_A16, C32 = OLayer::myFORMAT_C32;
constexpr uint32_t HID = LYR_FLAG_HIDDEN, NEST = LYR_FLAG_NEST;
constexpr RECT R{0, 0, 10, 10};
constexpr RECT R2{0, 0, 10, 11};

struct In {
  int format;
  uint32_t flags;
  uint32_t word;
  bool isMask = false;
  RECT rc = R;
  bool glass = false;
};
struct Out {
  uint32_t word;
  int mask = -1;
  int base = -1;
};
struct Case {
  const char* name;
  std::vector<In> in;
  std::vector<Out> out;
};

In Mask(uint32_t flags, uint32_t word, RECT rc = R) { return In{A16, flags, word, true, rc}; }
In Glass(uint32_t word) { return In{A16, 0, word, false, R, true}; }

TEST(TidyPassTest, Table) {
  const Case cases[] = {
      {"hidden current layer is drawn, a hidden one is not",
       {{C32, HID, C | CUR}, {C32, 0, C | V}, {C32, HID, C}},
       {{C | CUR | V}, {C | V}, {C}}},
      {"hidden layer with its glass is drawn", {Glass(GS | V), {C32, HID, GD | C | V}}, {{GS | V}, {GD | C | V}}},
      {"mask of the same rectangle masks and is not drawn", {Mask(0, V), {C32, 0, C | V}}, {{0}, {C | V | M, 0}}},
      {"mask of another rectangle is drawn", {Mask(0, V, R2), {C32, 0, C | V}}, {{V}, {C | V}}},
      {"an A16 layer is never masked", {Mask(0, V), {A16, 0, V}}, {{V}, {V}}},
      {"the current mask masks and is drawn too", {Mask(0, V | CUR), {C32, 0, C | V}}, {{V | CUR}, {C | V | M, 0}}},
      {"a mask past the layer's glass masks it",
       {Mask(0, V), Glass(GS | V), {C32, 0, GD | C | V}},
       {{0}, {GS | V}, {GD | C | V | M, 0}}},
      {"nest run over a colour layer",
       {{A16, NEST, V}, {C32, NEST, C | V}, {C32, 0, C | V}, {A16, 0, V}},
       {{V | N, -1, 2}, {C | V | N, -1, 2}, {C | V | NB}, {V}}},
      {"hidden base hides its nested layers",
       {{C32, NEST, C | V}, {A16, NEST | HID, 0}, {C32, HID, C}},
       {{C}, {0}, {C}}},
      {"nest without a base is drawn as not nested",
       {{A16, NEST, V}, {C32, NEST, C | V}, {A16, 0, V}, {C32, NEST, C | V}},
       {{V}, {C | V}, {V}, {C | V}}},
      {"a base whose nested layers are all hidden is drawn plain",
       {{C32, NEST | HID, C}, {C32, 0, C | V}},
       {{C | N, -1, 1}, {C | V}}},
      {"a masked base keeps its run past the mask",
       {{A16, NEST, V}, Mask(0, V), {C32, 0, C | V}},
       {{V | N, -1, 2}, {0}, {C | V | M | NB, 1}}},
      {"a mask flagged to nest is nested, not a mask", {Mask(NEST, V), {C32, 0, C | V}}, {{V | N, -1, 1}, {C | V | NB}}},
      {"a nested layer's glass and mask stay in the group",
       {{A16, NEST, V}, Mask(0, V), Glass(GS | V), {C32, NEST, GD | C | V}, {C32, 0, C | V}},
       {{V | N, -1, 4}, {0, -1, 4}, {GS | V | N, -1, 4}, {GD | C | V | N | M, 1, 4}, {C | V | NB}}},
      {"the glass of a base's mask is drawn inside the base's group",
       {{A16, NEST, V}, Glass(V), Mask(0, V), {C32, 0, C | V}},
       {{V | N, -1, 3}, {V | N, -1, 3}, {0}, {C | V | M | NB, 2}}},
      {"a base's own glass does not end its run",
       {{A16, NEST, V}, Glass(GS | V), {C32, 0, GD | C | V}},
       {{V | N, -1, 2}, {GS | V}, {GD | C | V | NB}}},
      {"derived bits of the caller are recomputed, other bits pass",
       {{C32, 0, C | V | NB | N | M | 0x80000}},
       {{C | V | 0x80000}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = int(c.in.size());
    ASSERT_EQ(c.out.size(), c.in.size());
    std::vector<TidyEntry> entries(c.in.size());
    std::vector<uint32_t> words(c.in.size());
    std::vector<TidyLink> links(c.in.size());
    for (int i = 0; i < n; ++i) {
      const In& in = c.in[size_t(i)];
      entries[size_t(i)] = TidyEntry{in.format, in.flags, in.isMask, in.rc, in.glass};
      words[size_t(i)] = in.word;
      links[size_t(i)] = TidyLink{7, 7};  // stale links are overwritten
    }
    TidyPass(entries.data(), words.data(), links.data(), n);
    for (int i = 0; i < n; ++i) {
      const Out& want = c.out[size_t(i)];
      EXPECT_EQ(words[size_t(i)], want.word) << "entry " << i;
      EXPECT_EQ(links[size_t(i)].mask, want.mask) << "entry " << i;
      EXPECT_EQ(links[size_t(i)].base, want.base) << "entry " << i;
    }
  }
}

}  // namespace
