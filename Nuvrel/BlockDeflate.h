// Whole-buffer zlib streams through libdeflate, on coder state each thread allocates once
// and keeps until it ends: a save's workers code record after record without allocating.
// The streams are standard zlib streams any zlib reader takes.
#pragma once
#include <cstdint>

namespace block_deflate {

// The most stream bytes Encode may need; 0 for a level it refuses.
uint64_t EncodeBound(uint64_t inBytes, int level);
// The stream's size, or 0 when it does not fit in room or the level is refused.
uint64_t Encode(const void* in, uint64_t inBytes, void* out, uint64_t room, int level);
// True, with *written set, when the stream at the start of in is whole and fits in room;
// bytes after the stream are not looked at.
bool Decode(const void* in, uint64_t inBytes, void* out, uint64_t room, uint64_t* written);

}  // namespace block_deflate
