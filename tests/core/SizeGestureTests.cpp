// The SPACE size gesture's reading of an offset: the dead zone, the sectors with their linear
// and squared steps, and the flicks past the outer ring.
#include <gtest/gtest.h>

#include "tools/SizeGesture.h"

namespace {

TEST(SizeGesture, OffsetsGiveTheirRatioOrNothing) {
  struct Case {
    int dx, dy;
    float start, value;
  };
  const Case cases[] = {
      {9, 0, 0.5f, -1.0f},                  // inside the dead zone: nothing
      {0, 9, 0.5f, -1.0f},
      {0, 40, 0.5f, -1.0f},                 // straight down: the vertical sector changes nothing
      {30, 0, 0.5f, 0.5f + 0.5f * 0.4f},    // right, 1 - h <= 0.6: linear, t = (30 - 10) x 0.02
      {30, 0, 0.2f, 0.2f + 0.8f * 0.16f},   // right, 1 - h > 0.6: squared
      {-30, 0, 0.5f, 0.5f - 0.5f * 0.4f},   // left, h <= 0.6: linear
      {-30, 0, 0.8f, 0.8f - 0.8f * 0.16f},  // left, h > 0.6: squared
      {66, 0, 0.5f, 1.0f},                  // the step is clamped at the full range
      {69, 0, 0.5f, 10.0f},                 // flicks
      {-69, 0, 0.5f, 20.0f},
      {0, -69, 0.5f, 30.0f},
  };
  for (const Case& c : cases)
    EXPECT_NEAR(SizeGestureValue(c.dx, c.dy, c.start), c.value, 1e-5) << c.dx << "," << c.dy << " from " << c.start;
}

TEST(SizeGesture, FlicksStepByAFifthAndStayInRange) {
  EXPECT_NEAR(SizeGestureFlick(10.0f, 0.5f), 0.5f + 0.1f + 0.02f, 1e-6);
  EXPECT_NEAR(SizeGestureFlick(20.0f, 0.5f), 0.5f - 0.12f, 1e-6);
  EXPECT_EQ(SizeGestureFlick(10.0f, 0.95f), 1.0f);
  EXPECT_EQ(SizeGestureFlick(20.0f, 0.01f), 0.0f);
  EXPECT_EQ(SizeGestureFlick(30.0f, 0.4f), 0.4f);
}

}  // namespace
