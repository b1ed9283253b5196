// The reference resampler and output copy: the definition the SSE2 versions match bit for bit.
#include "Resampler.h"

void ResampleTileScalar(const ResampleParams& p, const ComposeWork* work, TileRows* out) {
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      uint16_t sum[4] = {0, 0, 0, 0};
      for (int k = 0; k < 8; ++k) {
        int c = 0, r = 0;
        ResampleSample(p, x, y, k, &c, &r);
        const uint16_t* s = work->acc[r][c];
        for (int l = 0; l < 4; ++l) sum[l] = uint16_t(sum[l] + s[l]);
      }
      for (int l = 0; l < 4; ++l) out->px[y][x][l] = uint16_t(sum[l] >> 3);
    }
  }
}

static uint8_t PackLane(uint16_t lane) {
  int16_t v = int16_t(lane);
  return v < 0 ? 0 : v > 255 ? 255 : uint8_t(v);
}

void CopyTileScalar(const TileRows* rows, int width, int height, int left, int rowBase, int pitchBytes,
                    uint8_t* bits) {
  for (int j = 0; j < height; ++j) {
    uint8_t* dst = bits + std::ptrdiff_t(rowBase + TILE_SIDE - 1 - j) * pitchBytes + std::ptrdiff_t(left) * 4;
    for (int x = 0; x < width; ++x)
      for (int l = 0; l < 4; ++l) dst[4 * x + l] = PackLane(rows->px[j][x][l]);
  }
}
