// The main window's stored rectangle fitted to the screens, without a screen: two screens side
// by side, the second left of the primary at negative coordinates.
#include <gtest/gtest.h>

#include <climits>

#include "frame/WindowPlacement.h"

// RECT lives in the global namespace, so its comparison and printing must too.
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& os, const RECT& r) {
  return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

const RECT kPrimary{0, 0, 1920, 1040};
const RECT kLeft{-1280, 200, 0, 1224};
const RECT kFirstRun{480, 270, 1440, 810};

TEST(WindowPlacement, StoredRectanglesComeBackWhollyOnAScreenAtASizeItHoldsRoomFor) {
  const struct {
    const char* what;
    RECT stored;
    SIZE least;
    RECT fitted;
  } cases[] = {
      {"on the primary: kept", {100, 50, 900, 650}, {0, 0}, {100, 50, 900, 650}},
      {"on the left screen: kept", {-1200, 300, -200, 900}, {0, 0}, {-1200, 300, -200, 900}},
      {"mostly on the left screen: moved onto it", {-700, 300, 100, 900}, {0, 0}, {-800, 300, 0, 900}},
      {"mostly on the primary: moved onto it", {-100, 300, 700, 900}, {0, 0}, {0, 300, 800, 900}},
      {"off every screen: onto the primary", {5000, 5000, 5600, 5400}, {0, 0}, {1320, 640, 1920, 1040}},
      {"above and left of every screen", {-3000, -3000, -2500, -2600}, {0, 0}, {0, 0, 500, 400}},
      {"larger than its screen", {-1280, 0, 60000, 60000}, {0, 0}, {0, 0, 1920, 1040}},
      {"a bottom of INT_MIN", {100, 100, 700, INT_MIN}, {0, 0}, kFirstRun},
      {"a right of INT_MIN", {100, 100, INT_MIN, 700}, {0, 0}, kFirstRun},
      {"everything INT_MIN", {INT_MIN, INT_MIN, INT_MIN, INT_MIN}, {0, 0}, kFirstRun},
      {"the whole integer range", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0}, {0, 0, 1920, 1040}},
      {"INT_MAX corners", {INT_MAX - 10, INT_MAX - 10, INT_MAX, INT_MAX}, {0, 0}, {1760, 880, 1920, 1040}},
      {"a negative size", {500, 400, 100, 50}, {0, 0}, kFirstRun},
      {"tiny: the least side", {10, 10, 12, 11}, {0, 0}, {10, 10, 10 + placement::kMinSide, 10 + placement::kMinSide}},
      {"below the window's minimum", {1700, 10, 1900, 210}, {520, 300}, {1400, 10, 1920, 310}},
      {"a minimum larger than the screen", {-1200, 300, -200, 900}, {1500, 1100}, {-1280, 200, 0, 1224}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(placement::FitWindowRect(c.stored, kFirstRun, {kPrimary, kLeft}, c.least), c.fitted) << c.what;
}

TEST(WindowPlacement, WithoutScreensTheFirstRunRectangleStandsForOne) {
  EXPECT_EQ(placement::FitWindowRect({0, 0, INT_MAX, INT_MAX}, kFirstRun, {}, {0, 0}), kFirstRun);
  EXPECT_EQ(placement::FitWindowRect({INT_MIN, 300, INT_MIN + 500, 700}, kFirstRun, {}, {0, 0}),
            (RECT{480, 300, 980, 700}));
}

}  // namespace
