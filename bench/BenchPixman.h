// pixman's affine transform with a bilinear filter, the outside reference of the benchmarks
// that turn and resample layers.
#pragma once
#include <pixman.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

// One run of the transform (destination to source) of src into a w x h image in out;
// the seconds the composite took.
inline double PixmanRun(pixman_image_t* src, const pixman_f_transform& ft, std::vector<uint32_t>& out, int w, int h) {
  using Clock = std::chrono::steady_clock;
  pixman_image_t* dst = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, out.data(), w * 4);
  pixman_transform_t t;
  pixman_transform_from_pixman_f_transform(&t, &ft);
  pixman_image_set_transform(src, &t);
  pixman_image_set_filter(src, PIXMAN_FILTER_BILINEAR, nullptr, 0);
  pixman_image_set_repeat(src, PIXMAN_REPEAT_NONE);
  auto t0 = Clock::now();
  pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, 0, 0, 0, 0, 0, 0, w, h);
  auto t1 = Clock::now();
  pixman_image_unref(dst);
  return std::chrono::duration<double>(t1 - t0).count();
}

// The transform that turns a side x side source by angle into a w x h destination, the
// destination's centre on the source's, sampled the way the layer utility samples.
inline pixman_f_transform RotationTransform(float angle, int side, int w, int h) {
  const double c = std::cos(double(angle)), s = std::sin(double(angle));
  pixman_f_transform ft;
  pixman_f_transform_init_identity(&ft);
  ft.m[0][0] = c;
  ft.m[0][1] = s;
  ft.m[0][2] = side / 2.0 - (c * w / 2.0 + s * h / 2.0);
  ft.m[1][0] = -s;
  ft.m[1][1] = c;
  ft.m[1][2] = side / 2.0 - (-s * w / 2.0 + c * h / 2.0);
  return ft;
}
