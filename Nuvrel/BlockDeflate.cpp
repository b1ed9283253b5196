#include "BlockDeflate.h"

#include <libdeflate.h>

namespace block_deflate {
namespace {

// libdeflate's levels; 0 would store the bytes uncompressed.
constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 12;

// One thread's libdeflate state, freed when the thread ends. The compressor is made again
// only when a different level is asked for.
class ThreadCoders {
 public:
  ThreadCoders() = default;
  ThreadCoders(const ThreadCoders&) = delete;
  ThreadCoders& operator=(const ThreadCoders&) = delete;
  ~ThreadCoders() {
    if (m_compressor) libdeflate_free_compressor(m_compressor);
    if (m_decompressor) libdeflate_free_decompressor(m_decompressor);
  }

  libdeflate_compressor* Compressor(int level) {
    if (level < kMinLevel || level > kMaxLevel) return nullptr;
    if (m_compressor && m_level == level) return m_compressor;
    if (m_compressor) libdeflate_free_compressor(m_compressor);
    m_compressor = libdeflate_alloc_compressor(level);
    m_level = level;
    return m_compressor;
  }
  libdeflate_decompressor* Decompressor() {
    if (!m_decompressor) m_decompressor = libdeflate_alloc_decompressor();
    return m_decompressor;
  }

 private:
  libdeflate_compressor* m_compressor = nullptr;
  int m_level = 0;
  libdeflate_decompressor* m_decompressor = nullptr;
};

thread_local ThreadCoders t_coders;

}  // namespace

uint64_t EncodeBound(uint64_t inBytes, int level) {
  libdeflate_compressor* c = t_coders.Compressor(level);
  return c ? libdeflate_zlib_compress_bound(c, size_t(inBytes)) : 0;
}

uint64_t Encode(const void* in, uint64_t inBytes, void* out, uint64_t room, int level) {
  libdeflate_compressor* c = t_coders.Compressor(level);
  return c ? libdeflate_zlib_compress(c, in, size_t(inBytes), out, size_t(room)) : 0;
}

bool Decode(const void* in, uint64_t inBytes, void* out, uint64_t room, uint64_t* written) {
  libdeflate_decompressor* d = t_coders.Decompressor();
  if (!d) return false;
  size_t used = 0, made = 0;
  // With both counts asked for, libdeflate takes a stream that fills less than room and
  // one followed by other bytes.
  if (libdeflate_zlib_decompress_ex(d, in, size_t(inBytes), out, size_t(room), &used, &made) != LIBDEFLATE_SUCCESS)
    return false;
  *written = made;
  return true;
}

}  // namespace block_deflate
