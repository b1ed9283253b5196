// Feeds the fuzz input to "XDecoderZlib" as a zlib stream in pieces of varying size (some
// empty), drains it into a small buffer with an occasional call without room, and checks
// every answer against zlib's own one-call decoding of the same bytes; the whole-buffer
// decoder's answer too.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "XCoderZlib.h"

namespace {

// Output beyond this is not drained, so inputs that expand a thousandfold stay quick.
constexpr size_t kMaxOutput = size_t(1) << 18;

#define FUZZ_CHECK(cond) \
  do {                   \
    if (!(cond)) std::abort(); \
  } while (0)

uint32_t Hash(const uint8_t* p, size_t n) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 16777619u;
  return h;
}

class FuzzInput final : public OCoderInput {
 public:
  FuzzInput(const uint8_t* p, size_t n, uint32_t seed) : m_p(p), m_n(n), m_rng(seed | 1) {}
  int32_t AddRef() override { return ++m_refs; }
  int32_t Release() override { return --m_refs; }
  BOOL InputBegin() override { return TRUE; }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    FUZZ_CHECK(!m_bLast);  // nothing is asked for after the last piece
    m_rng ^= m_rng << 13;
    m_rng ^= m_rng >> 17;
    m_rng ^= m_rng << 5;
    size_t piece = (m_rng % 11 == 0) ? 0 : 1 + m_rng % 97;
    size_t n = piece < m_n - m_pos ? piece : m_n - m_pos;
    *next = m_p + m_pos;
    *avail = UINT(n);
    m_pos += n;
    *last = m_bLast = m_pos == m_n;
    return TRUE;
  }
  BOOL InputEnd() override { return TRUE; }
  int32_t Refs() const { return m_refs; }

 private:
  const uint8_t* m_p;
  size_t m_n;
  size_t m_pos = 0;
  uint32_t m_rng;
  bool m_bLast = false;
  int32_t m_refs = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t seed = Hash(data, size);
  const UINT room = 1 + seed % 61;
  FuzzInput in(data, size, seed);
  OCoder* dec = static_cast<OCoder*>(
      GCreateComponent<XDecoderZlib>(nullptr, nullptr, nullptr)->GetInterface(u"OCoder"));
  dec->AddRef();

  GCoderState st{};
  FUZZ_CHECK(dec->OutputBegin(&in, &st, 0) == 1);
  std::vector<uint8_t> out;
  uint8_t buf[64];
  BOOL ok = FALSE;
  bool capped = false;
  for (unsigned call = 0;; ++call) {
    if (call % 7 == 3) {
      // No room: 0 unless the stream ends without more output.
      BOOL z = dec->Output(nullptr, 0, &st);
      FUZZ_CHECK(st.uOutputSize == 0);
      FUZZ_CHECK(!z || st.bStreamEnd);
      if (z) {
        ok = z;
        break;
      }
      continue;
    }
    ok = dec->Output(buf, room, &st);
    FUZZ_CHECK(st.uOutputSize <= room);
    out.insert(out.end(), buf, buf + st.uOutputSize);
    FUZZ_CHECK(st.uTotalOutput == out.size());
    if (!ok || st.bStreamEnd) break;
    FUZZ_CHECK(st.uOutputSize == room);  // success short of the end fills the buffer
    if (out.size() > kMaxOutput) {
      capped = true;
      break;
    }
  }
  const BOOL ended = dec->OutputEnd();
  FUZZ_CHECK(ended == (ok && st.bStreamEnd ? 1 : 0));
  FUZZ_CHECK(in.Refs() == 0);
  // The whole-buffer decoder of the same component, on the same bytes in one piece.
  static std::vector<uint8_t> whole(kMaxOutput);
  uint64_t wholeBytes = 0;
  const BOOL wholeOk = static_cast<OBlockDecoder*>(dec->GetInterface(u"OBlockDecoder"))
                           ->Decode(data, size, whole.data(), whole.size(), &wholeBytes);
  dec->Release();

  if (!capped) {
    static std::vector<uint8_t> ref(kMaxOutput + 1);
    uLongf n = uLongf(ref.size());
    uLong consumed = uLong(size);
    const int rc = uncompress2(ref.data(), &n, data, &consumed);
    FUZZ_CHECK((rc == Z_OK) == (ended == 1));
    if (ended) {
      FUZZ_CHECK(n == out.size() && (n == 0 || std::memcmp(ref.data(), out.data(), n) == 0));
      FUZZ_CHECK(st.uTotalInput == consumed);  // trailing bytes are not counted
    }
    // Where both take the stream they give the same bytes. Either may refuse what the other
    // takes: a stream the whole-buffer decoder refuses is left to the piecewise one, and it
    // reads some codes zlib calls invalid as valid ones, the check word still guarding the
    // bytes they give.
    if (wholeOk && rc == Z_OK)
      FUZZ_CHECK(n == wholeBytes && (n == 0 || std::memcmp(ref.data(), whole.data(), n) == 0));
  }
  return 0;
}
