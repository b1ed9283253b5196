#include "TidyPass.h"

#include <vector>

#include "odata/OLayer.h"

namespace {

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

void TidyPass(const TidyEntry* e, uint32_t* tidy, TidyLink* links, int n) {
  constexpr uint32_t kDerived = LYR_TIDY_NESTBASE | LYR_TIDY_NESTED | LYR_TIDY_MASKED;
  for (int i = 0; i < n; ++i) {
    tidy[i] &= ~kDerived;
    links[i] = TidyLink{};
  }
  // The glass of entry i, if it has one (glass entries sit directly above their layer).
  auto glassOf = [&](int i) { return i >= 1 && e[i - 1].glass ? i - 1 : -1; };
  std::vector<char> consumed(size_t(n > 0 ? n : 0), 0);

  // Nesting and masks, from the lowest entry up, one layer (with its glass and its mask) at a
  // time. base is the colour entry the current run nests into, -1 when the run has none.
  int base = -1;
  int i = n - 1;
  while (i >= 0) {
    if (e[i].glass && i + 1 < n) {  // an orphan glass entry (never made by the device)
      --i;
      continue;
    }
    const int glass = glassOf(i);
    int above = (glass >= 0 ? glass : i) - 1;
    if (e[i].layerFlags & LYR_FLAG_NEST) {
      if (base >= 0) {
        tidy[i] |= LYR_TIDY_NESTED;
        links[i].base = base;
        if (glass >= 0) {
          tidy[glass] |= LYR_TIDY_NESTED;
          links[glass].base = base;
        }
      }
    } else {
      base = e[i].format == OLayer::myFORMAT_C32 ? i : -1;
    }
    if (e[i].format == OLayer::myFORMAT_C32 && above >= 0 && !e[above].glass && e[above].isMask &&
        !(e[above].layerFlags & LYR_FLAG_NEST) && SameRect(e[above].rc, e[i].rc)) {
      tidy[i] |= LYR_TIDY_MASKED;
      links[i].mask = above;
      consumed[size_t(above)] = 1;
      links[above].base = links[i].base;  // the mask of a nested entry stays inside the group
      const int maskGlass = glassOf(above);
      if (maskGlass >= 0 && links[i].base >= 0) {
        tidy[maskGlass] |= LYR_TIDY_NESTED;
        links[maskGlass].base = links[i].base;
      }
      above = (maskGlass >= 0 ? maskGlass : above) - 1;
    }
    i = above;
  }

  // Visibility.
  for (int k = n - 1; k >= 0; --k) {
    if (consumed[size_t(k)]) tidy[k] &= ~LYR_TIDY_VISIBLE;
    if (tidy[k] & LYR_TIDY_CURRENT) tidy[k] |= LYR_TIDY_VISIBLE;
  }
  for (int k = n - 1; k >= 0; --k) {
    const int b = links[k].base;
    if (b < 0) continue;
    if (!(tidy[b] & LYR_TIDY_VISIBLE)) {
      tidy[k] &= ~(LYR_TIDY_VISIBLE | LYR_TIDY_NESTED);
      links[k].base = -1;
    } else if (tidy[k] & LYR_TIDY_VISIBLE) {
      tidy[b] |= LYR_TIDY_NESTBASE;
    }
  }
  // The glass of a base's mask is drawn inside the base's group once the base has one.
  for (int b = 0; b < n; ++b) {
    if (!(tidy[b] & LYR_TIDY_NESTBASE) || links[b].mask < 0) continue;
    const int maskGlass = glassOf(links[b].mask);
    if (maskGlass >= 0) {
      tidy[maskGlass] |= LYR_TIDY_NESTED;
      links[maskGlass].base = b;
    }
  }
}
