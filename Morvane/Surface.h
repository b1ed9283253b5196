// Layer surfaces (primary, mip, backup, helper): 16-byte aligned, zero-filled, with spare
// bytes past the end for the kernels' over-reads. Freed with std::free.
// cleared false leaves the bytes for a caller that writes every one (the spare is zero all
// the same): a recycled block is then not cleared first.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/base/Types.h"

constexpr size_t LAYER_SURFACE_SPARE = 4;

BYTE* AllocLayerSurface(uint64_t bytes, bool cleared = true);
