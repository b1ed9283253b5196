// The compositor: composes the layer entries of one screen tile into the renderer's
// accumulator, row by row, over the tile's footprint in the space (at the pass's mip level).
#pragma once
#include <cstdint>

// The accumulator is ACC_SIDE x ACC_SIDE pixels of four 16-bit lanes (blue, green, red,
// alpha), each 0..255.
constexpr int ACC_SIDE = 400;

// Kernel codes: family x 8 + mode. Every family x mode x masked combination has its own
// code: a masked nest is 40..47, not the nest code plus 16 (which would reach the copy).
enum ComposeFamily : uint32_t {
  COMPOSE_A16 = 0,          // 0..7: S = the entry colour, coverage from the A16 high byte
  COMPOSE_C32 = 8,          // 8..15: S = the C32 pixel
  COMPOSE_GLASS = 16,       // 16..23: as A16; mode 0 also forms the result alpha
  COMPOSE_C32_MASKED = 24,  // 24..31: C32 through an A16 mask
  COMPOSE_NEST = 32,        // 32..39: closes a nest level; S = the nest row
  COMPOSE_NEST_MASKED = 40, // 40..47: as nest, its alpha through an A16 mask
  COMPOSE_COPY = 48,        // opens a nest level with the base's C32 pixels
  COMPOSE_END = 49,         // 49..63 end the tile's composition
};

// Blend modes, in the order of the layer's MODE choices.
enum ComposeMode : uint32_t {
  myMODE_NORMAL = 0,
  myMODE_SOFTLIGHT = 1,
  myMODE_SOFTSHADOW = 2,
  myMODE_HARDLIGHT = 3,
  myMODE_HARDSHADOW = 4,
  myMODE_LIGHTEN = 5,
  myMODE_DARKEN = 6,
  myMODE_DIFFERENCE = 7,
};

struct alignas(16) ComposeEntry {
  uint32_t code;        // only the low 6 bits choose the kernel
  uint16_t opacity[4];  // o (0..128) in each lane
  uint32_t pitch;       // pixels per row of the source (and of the mask)
  const void* source;   // A16 (2 bytes a pixel) or C32 (4 bytes) pixels of the layer's level
  const uint16_t* mask; // A16 mask pixels, same geometry (masked codes)
  int32_t left, top, right, bottom;  // the layer rectangle in space coordinates at the level
  uint32_t colour[4];   // entry colour BGRA, four copies; the top byte is the opacity
};

// The renderer's 8192-byte record block holds at most this many entries; the compositor
// reads no more.
constexpr int COMPOSE_MAX_ENTRIES = 8192 / int(sizeof(ComposeEntry));

struct ComposeSpan {
  int32_t start;  // first column, in tile (accumulator) coordinates
  int32_t end;    // end column (exclusive)
};

struct alignas(16) ComposeWork {
  int32_t originX, originY;          // space point of accumulator pixel (0, 0)
  int32_t spaceWidth, spaceHeight;   // at the level
  uint32_t insideColour;             // BGRA inside the space
  uint32_t outsideColour;            // BGRA outside it
  int32_t firstRow, endRow;          // accumulator rows to compose
  ComposeSpan spans[ACC_SIDE];       // the footprint's columns per row (at most 400)
  alignas(16) uint16_t acc[ACC_SIDE][ACC_SIDE][4];
  alignas(16) uint16_t nest[2][ACC_SIDE][4];  // nest rows, levels 1 and 2
};

// The scalar reference: the definition of every kernel.
void LayerCompositorScalar(ComposeWork* work, const ComposeEntry* entries, int count);
// The SSE2 version, bit-exact to the reference.
void LayerCompositorSse2(ComposeWork* work, const ComposeEntry* entries, int count);
// The AVX2 version, bit-exact as well; only on a processor with AVX2.
void LayerCompositorAvx2(ComposeWork* work, const ComposeEntry* entries, int count);
// What the renderer runs: the AVX2 version where the processor has AVX2, else the SSE2 one.
void LayerCompositor(ComposeWork* work, const ComposeEntry* entries, int count);
