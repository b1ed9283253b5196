#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/Thrown.h"
#include "XCoderZlib.h"
#include "common/FakeSystem.h"
#include "odata/GCompRef.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An input over a byte vector: fixed piece size, optional empty pieces between the real
// ones, and failures on demand. It lives on the test's stack; the count only shows
// whether the coder still holds it.
class TestInput final : public OCoderInput {
 public:
  TestInput(Bytes bytes, size_t piece) : data(std::move(bytes)), piece(piece) {}
  int32_t AddRef() override { return ++refs; }
  int32_t Release() override { return --refs; }
  BOOL InputBegin() override {
    ++begins;
    return beginResult;
  }
  BOOL Input(const BYTE** next, UINT* avail, BOOL* last) override {
    ++calls;
    if (lastGiven) ++callsAfterLast;
    if (calls == failAtCall) return FALSE;
    if (gaps && (calls % 2) == 1 && pos < data.size()) {
      *next = data.data() + pos;
      *avail = 0;
      *last = FALSE;
      return TRUE;
    }
    size_t n = std::min(piece, data.size() - pos);
    *next = data.data() + pos;
    *avail = UINT(n);
    pos += n;
    *last = lastGiven = pos == data.size();
    return TRUE;
  }
  BOOL InputEnd() override {
    ++ends;
    return endResult;
  }

  Bytes data;
  size_t piece;
  size_t pos = 0;
  bool gaps = false;
  bool lastGiven = false;
  int refs = 0, begins = 0, ends = 0, calls = 0, callsAfterLast = 0;
  int failAtCall = 0;
  BOOL beginResult = TRUE, endResult = TRUE;
};

// Compressible runs, a gradient and noise, so every deflate path is taken.
Bytes Sample(size_t n) {
  Bytes b(n);
  std::mt19937 rng(7);
  for (size_t i = 0; i < n; ++i) {
    size_t part = (i / 4096) % 3;
    b[i] = part == 0 ? uint8_t("layer stroke brush "[i % 19]) : part == 1 ? uint8_t(i / 16) : uint8_t(rng());
  }
  return b;
}

Bytes Compress(const Bytes& data, int level) {
  uLongf n = compressBound(uLong(data.size()));
  Bytes out(n);
  EXPECT_EQ(compress2(out.data(), &n, data.data(), uLong(data.size()), level), Z_OK);
  out.resize(n);
  return out;
}

// The bytes of a zlib stream, or nullopt-like failure through the flag.
bool Uncompress(const Bytes& stream, size_t expected, Bytes* out) {
  out->assign(expected + 1, 0);
  uLongf n = uLongf(out->size());
  int rc = uncompress(out->data(), &n, stream.data(), uLong(stream.size()));
  out->resize(n);
  return rc == Z_OK;
}

struct Drained {
  Bytes out;
  GCoderState state{};
  BOOL ok = FALSE;  // result of the last Output
};

// Calls Output with pieces of outPiece bytes until the stream ends or Output answers 0.
Drained Drain(OCoder* coder, UINT outPiece) {
  Drained d;
  Bytes buf(outPiece);
  for (;;) {
    d.ok = coder->Output(buf.data(), outPiece, &d.state);
    EXPECT_LE(d.state.uOutputSize, outPiece);
    d.out.insert(d.out.end(), buf.begin(), buf.begin() + std::min(d.state.uOutputSize, outPiece));
    if (!d.ok || d.state.bStreamEnd) break;
    // Success short of the end means a full buffer; anything else could spin the caller.
    if (d.state.uOutputSize != outPiece) {
      ADD_FAILURE() << "Output answered 1 with " << d.state.uOutputSize << " of " << outPiece;
      break;
    }
  }
  return d;
}

class CoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sys.Register(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    sys.Register(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
  }
  void TearDown() override {
    EXPECT_EQ(sys.Entry(u"XEncoderZlib")->Refs(), 0);
    EXPECT_EQ(sys.Entry(u"XDecoderZlib")->Refs(), 0);
  }
  GCompRef<OCoder> Make(const char16_t* name) {
    OComponent* c = sys.NewObj(name, nullptr);
    EXPECT_NE(c, nullptr);
    return static_cast<OCoder*>(c->GetInterface(u"OCoder"));
  }
  // One whole stream through a fresh coder; the input is checked for balance afterwards.
  Drained Run(const char16_t* name, TestInput& in, int level, UINT outPiece, BOOL* ended) {
    GCompRef<OCoder> coder = Make(name);
    GCoderState begin{};
    EXPECT_EQ(coder->OutputBegin(&in, &begin, level), 1);
    EXPECT_EQ(in.refs, 1);  // held while coding
    Drained d = Drain(coder, outPiece);
    *ended = coder->OutputEnd();
    EXPECT_EQ(in.refs, 0);
    EXPECT_EQ(in.begins, 1);
    EXPECT_EQ(in.ends, 1);
    EXPECT_EQ(in.callsAfterLast, 0);
    return d;
  }
  FakeSystem sys;
};

TEST_F(CoderTest, InterfacesByName) {
  GCompRef<OCoder> enc = Make(u"XEncoderZlib");
  EXPECT_EQ(enc->GetInterface(u"OCoder"), static_cast<void*>(enc.get()));
  EXPECT_NE(enc->GetInterface(u"m_xBeing"), nullptr);
  EXPECT_EQ(enc->GetInterface(u"GSystem"), static_cast<void*>(static_cast<GSystem*>(&sys)));
  EXPECT_EQ(enc->GetInterface(u"OWorker"), nullptr);
}

struct TripCase {
  int level;
  size_t inPiece;
  UINT outPiece;
  bool gaps;
  int flevel;  // the compression-level field of the zlib header
};

class CoderRoundTrip : public CoderTest, public ::testing::WithParamInterface<TripCase> {};

TEST_P(CoderRoundTrip, EncodesPlainZlibAndDecodesItBack) {
  const TripCase& c = GetParam();
  const Bytes data = Sample(150000);

  TestInput raw(data, c.inPiece);
  raw.gaps = c.gaps;
  BOOL ended = FALSE;
  Drained enc = Run(u"XEncoderZlib", raw, c.level, c.outPiece, &ended);
  ASSERT_TRUE(enc.ok);
  EXPECT_EQ(enc.state.bStreamEnd, 1u);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(enc.state.uTotalInput, data.size());
  EXPECT_EQ(enc.state.uTotalOutput, enc.out.size());
  ASSERT_GE(enc.out.size(), 2u);
  EXPECT_EQ(enc.out[1] >> 6, c.flevel);
  // Level 0 stores, any other level shrinks this sample.
  EXPECT_EQ(enc.out.size() > data.size(), c.level == 0);

  Bytes plain;
  ASSERT_TRUE(Uncompress(enc.out, data.size(), &plain));
  EXPECT_TRUE(plain == data);

  TestInput packed(enc.out, c.inPiece);
  packed.gaps = c.gaps;
  Drained dec = Run(u"XDecoderZlib", packed, 99, c.outPiece, &ended);  // level ignored
  ASSERT_TRUE(dec.ok);
  EXPECT_EQ(dec.state.bStreamEnd, 1u);
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(dec.state.uTotalInput, enc.out.size());
  EXPECT_EQ(dec.state.uTotalOutput, data.size());
  EXPECT_TRUE(dec.out == data);
}

INSTANTIATE_TEST_SUITE_P(CoderPieces, CoderRoundTrip,
                         ::testing::Values(TripCase{0, 4093, 1000, false, 0},
                                           TripCase{1, 1, 7, false, 0},
                                           TripCase{4, 777, 3, true, 1},
                                           TripCase{6, 65537, 4099, false, 2},
                                           TripCase{6, 13, 1u << 20, true, 2}),
                         [](const auto& info) {
                           const TripCase& c = info.param;
                           return "Level" + std::to_string(c.level) + "In" + std::to_string(c.inPiece) +
                                  "Out" + std::to_string(c.outPiece) + (c.gaps ? "Gaps" : "");
                         });

TEST_F(CoderTest, EmptyInputGivesACompleteEmptyStream) {
  TestInput none(Bytes{}, 64);
  BOOL ended = FALSE;
  Drained enc = Run(u"XEncoderZlib", none, 6, 64, &ended);
  ASSERT_TRUE(enc.ok);
  EXPECT_EQ(enc.state.bStreamEnd, 1u);
  EXPECT_EQ(ended, 1);
  Bytes plain;
  ASSERT_TRUE(Uncompress(enc.out, 0, &plain));
  EXPECT_TRUE(plain.empty());

  TestInput packed(enc.out, 3);
  Drained dec = Run(u"XDecoderZlib", packed, 0, 64, &ended);
  ASSERT_TRUE(dec.ok);
  EXPECT_EQ(dec.state.bStreamEnd, 1u);
  EXPECT_EQ(ended, 1);
  EXPECT_TRUE(dec.out.empty());
}

TEST_F(CoderTest, WrongStateThrowsWithTheTrail) {
  for (const char16_t* name : {u"XEncoderZlib", u"XDecoderZlib"}) {
    SCOPED_TRACE(U8(name));
    GCompRef<OCoder> coder = Make(name);
    const std::u16string cls = std::u16string(u"\r\n\u2193 ") + name + u" ";
    GCoderState state{};
    Bytes buf(16);

    Thrown t = CatchError([&] { coder->Output(buf.data(), 16, &state); });
    EXPECT_EQ(U8(t.condition), "!m_myState==myCODING");
    EXPECT_EQ(U8(t.piece), U8(cls + u"::Output() 1 "));
    t = CatchError([&] { coder->OutputEnd(); });
    EXPECT_EQ(U8(t.condition), "!m_myState==myCODING");
    EXPECT_EQ(U8(t.piece), U8(cls + u"::OutputEnd() 1 "));

    TestInput in(Compress(Sample(1000), 6), 100), other(Bytes{}, 1);
    ASSERT_EQ(coder->OutputBegin(&in, &state, 6), 1);
    t = CatchError([&] { coder->OutputBegin(&other, &state, 6); });
    EXPECT_EQ(U8(t.condition), "!m_myState==myREADY");
    EXPECT_EQ(U8(t.piece), U8(cls + u"::OutputBegin() 2 "));
    EXPECT_EQ(other.begins, 0);
    EXPECT_EQ(other.refs, 0);
    // The running stream is unharmed.
    Drained d = Drain(coder, 4096);
    EXPECT_EQ(d.state.bStreamEnd, 1u);
    EXPECT_EQ(coder->OutputEnd(), 1);
  }
}

struct BadStream {
  const char* name;
  std::function<Bytes(const Bytes& data, const Bytes& stream)> make;
  bool prefix;  // what came out must be the start of the data
};

class CoderBadStream : public CoderTest, public ::testing::WithParamInterface<BadStream> {};

TEST_P(CoderBadStream, DecoderFailsAndStaysFailed) {
  const Bytes data = Sample(20000);
  for (size_t piece : {size_t(1) << 20, size_t(7)}) {
    SCOPED_TRACE(piece);
    TestInput in(GetParam().make(data, Compress(data, 6)), piece);
    GCompRef<OCoder> coder = Make(u"XDecoderZlib");
    GCoderState state{};
    ASSERT_EQ(coder->OutputBegin(&in, &state, 0), 1);
    Drained d = Drain(coder, 1000);
    EXPECT_EQ(d.ok, 0);
    EXPECT_EQ(d.state.bStreamEnd, 0u);
    if (GetParam().prefix) {
      ASSERT_LE(d.out.size(), data.size());
      EXPECT_TRUE(std::equal(d.out.begin(), d.out.end(), data.begin()));
    }
    Bytes buf(1000);
    EXPECT_EQ(coder->Output(buf.data(), 1000, &state), 0);
    EXPECT_EQ(coder->OutputEnd(), 0);
    EXPECT_EQ(in.refs, 0);
  }
}

Bytes WithDictionary(const Bytes& data) {
  z_stream s{};
  EXPECT_EQ(deflateInit(&s, 6), Z_OK);
  static const char dict[] = "layer stroke brush";
  deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dict), sizeof dict - 1);
  Bytes out(deflateBound(&s, uLong(data.size())));
  s.next_in = const_cast<Bytef*>(data.data());
  s.avail_in = uInt(data.size());
  s.next_out = out.data();
  s.avail_out = uInt(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    CoderStreams, CoderBadStream,
    ::testing::Values(
        BadStream{"Empty", [](const Bytes&, const Bytes&) { return Bytes{}; }, true},
        BadStream{"HeaderOnly", [](const Bytes&, const Bytes& s) { return Bytes(s.begin(), s.begin() + 2); }, true},
        BadStream{"CutInHalf", [](const Bytes&, const Bytes& s) { return Bytes(s.begin(), s.begin() + s.size() / 2); }, true},
        BadStream{"CutInTheCheck", [](const Bytes&, const Bytes& s) { return Bytes(s.begin(), s.end() - 1); }, true},
        BadStream{"BadHeader",
                  [](const Bytes&, Bytes s) {
                    s[1] ^= 1;  // the header no longer divides by 31
                    return s;
                  },
                  true},
        BadStream{"CorruptByte",
                  [](const Bytes&, Bytes s) {
                    s[s.size() / 2] ^= 0x20;
                    return s;
                  },
                  false},
        BadStream{"CorruptCheck",
                  [](const Bytes&, Bytes s) {
                    s.back() ^= 1;
                    return s;
                  },
                  true},
        BadStream{"NeedsDictionary", [](const Bytes& d, const Bytes&) { return WithDictionary(d); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CoderTest, TrailingBytesAfterTheStreamAreNeitherOutputNorPulled) {
  const Bytes data = Sample(30000);
  const Bytes stream = Compress(data, 6);
  Bytes withTail = stream;
  for (int i = 0; i < 64; ++i) withTail.push_back(uint8_t(0x78 + i * 37));
  for (size_t piece : {size_t(1) << 20, size_t(5)}) {
    SCOPED_TRACE(piece);
    TestInput in(withTail, piece);
    GCompRef<OCoder> coder = Make(u"XDecoderZlib");
    GCoderState state{};
    ASSERT_EQ(coder->OutputBegin(&in, &state, 0), 1);
    Drained d = Drain(coder, 999);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.state.bStreamEnd, 1u);
    EXPECT_TRUE(d.out == data);
    EXPECT_EQ(d.state.uTotalInput, stream.size());
    EXPECT_EQ(d.state.uTotalOutput, data.size());
    if (piece == 5) {
      EXPECT_LT(in.pos, withTail.size());  // the rest of the input is left alone
    }
    Bytes buf(999);
    EXPECT_EQ(coder->Output(buf.data(), 999, &state), 1);
    EXPECT_EQ(state.uOutputSize, 0u);
    EXPECT_EQ(state.bStreamEnd, 1u);
    EXPECT_EQ(coder->OutputEnd(), 1);
  }
}

struct InputFault {
  const char16_t* coder;
  int failAtCall;
  bool partial;  // the failing call had already written bytes
};

class CoderInputFault : public CoderTest, public ::testing::WithParamInterface<InputFault> {};

TEST_P(CoderInputFault, FailingInputIsNeverSuccess) {
  const InputFault& c = GetParam();
  const Bytes data = Sample(50000);
  const bool dec = c.coder[1] == u'D';
  TestInput in(dec ? Compress(data, 1) : data, 100);
  in.failAtCall = c.failAtCall;
  GCompRef<OCoder> coder = Make(c.coder);
  GCoderState state{};
  ASSERT_EQ(coder->OutputBegin(&in, &state, 1), 1);
  Drained d = Drain(coder, 1u << 16);
  EXPECT_EQ(d.ok, 0);
  EXPECT_EQ(d.state.bStreamEnd, 0u);
  if (c.partial) {
    EXPECT_GT(d.state.uOutputSize, 0u);
  }
  Bytes buf(1u << 16);
  EXPECT_EQ(coder->Output(buf.data(), UINT(buf.size()), &state), 0);
  EXPECT_EQ(in.calls, c.failAtCall);  // no further pulls after the failure
  EXPECT_EQ(coder->OutputEnd(), 0);
  EXPECT_EQ(in.ends, 1);
  EXPECT_EQ(in.refs, 0);
}

INSTANTIATE_TEST_SUITE_P(CoderCalls, CoderInputFault,
                         ::testing::Values(InputFault{u"XEncoderZlib", 1, false},
                                           InputFault{u"XEncoderZlib", 30, false},
                                           InputFault{u"XDecoderZlib", 1, false},
                                           InputFault{u"XDecoderZlib", 30, true}),
                         [](const auto& info) {
                           return U8(info.param.coder) + "At" + std::to_string(info.param.failAtCall);
                         });

TEST_F(CoderTest, InputBeginAndInputEndRefusals) {
  const Bytes data = Sample(5000);
  for (const char16_t* name : {u"XEncoderZlib", u"XDecoderZlib"}) {
    SCOPED_TRACE(U8(name));
    const Bytes bytes = name[1] == u'D' ? Compress(data, 6) : data;
    GCompRef<OCoder> coder = Make(name);

    TestInput refusing(bytes, 1000);
    refusing.beginResult = FALSE;
    GCoderState state;
    std::memset(&state, 0xFF, sizeof state);
    EXPECT_EQ(coder->OutputBegin(&refusing, &state, 6), 0);
    EXPECT_EQ(state.uTotalInput | state.uTotalOutput | state.uOutputSize | state.bStreamEnd, 0u);
    EXPECT_EQ(refusing.refs, 0);
    EXPECT_EQ(refusing.ends, 0);

    // Still ready: a stream whose InputEnd fails ends without success.
    TestInput failingEnd(bytes, 1000);
    failingEnd.endResult = FALSE;
    ASSERT_EQ(coder->OutputBegin(&failingEnd, &state, 6), 1);
    Drained d = Drain(coder, 4096);
    EXPECT_EQ(d.state.bStreamEnd, 1u);
    EXPECT_EQ(coder->OutputEnd(), 0);
    EXPECT_EQ(failingEnd.refs, 0);
  }
}

TEST_F(CoderTest, OnlyTheEncoderTakesTheLevel) {
  TestInput in(Sample(100), 100);
  GCoderState state{};
  GCompRef<OCoder> enc = Make(u"XEncoderZlib");
  EXPECT_EQ(enc->OutputBegin(&in, &state, 10), 0);
  EXPECT_EQ(in.begins, 0);  // a level zlib refuses leaves the input untouched
  EXPECT_EQ(enc->OutputBegin(&in, &state, -1), 1);  // zlib's default level
  EXPECT_EQ(Drain(enc, 1000).state.bStreamEnd, 1u);
  EXPECT_EQ(enc->OutputEnd(), 1);
}

TEST_F(CoderTest, OutputWithoutRoomAnswersZeroUntilTheEnd) {
  const Bytes data = Sample(20000);
  for (const char16_t* name : {u"XEncoderZlib", u"XDecoderZlib"}) {
    SCOPED_TRACE(U8(name));
    const bool dec = name[1] == u'D';
    TestInput in(dec ? Compress(data, 6) : data, 1000);
    GCompRef<OCoder> coder = Make(name);
    GCoderState state{};
    ASSERT_EQ(coder->OutputBegin(&in, &state, 6), 1);
    EXPECT_EQ(coder->Output(nullptr, 0, &state), 0);
    EXPECT_EQ(state.uOutputSize, 0u);
    Bytes buf(100);
    ASSERT_EQ(coder->Output(buf.data(), 100, &state), 1);
    EXPECT_EQ(coder->Output(buf.data(), 0, &state), 0);  // mid-stream
    Drained rest = Drain(coder, 1000);
    ASSERT_EQ(rest.state.bStreamEnd, 1u);
    EXPECT_EQ(coder->Output(nullptr, 0, &state), 1);  // an ended stream stays ended
    EXPECT_EQ(state.bStreamEnd, 1u);
    EXPECT_EQ(coder->OutputEnd(), 1);
    Bytes all(buf.begin(), buf.end());
    all.insert(all.end(), rest.out.begin(), rest.out.end());
    Bytes plain;
    if (dec) {
      EXPECT_TRUE(all == data);
    } else {
      ASSERT_TRUE(Uncompress(all, data.size(), &plain));
      EXPECT_TRUE(plain == data);
    }
  }
}

TEST_F(CoderTest, BufferFilledExactlyStillSeesTheEndInALaterPiece) {
  // One Output for the whole data, as a reader that knows the size does; the check bytes
  // arrive in a second piece after the buffer is already full.
  const Bytes data = Sample(40000);
  const Bytes stream = Compress(data, 6);
  TestInput in(stream, stream.size() - 3);
  GCompRef<OCoder> coder = Make(u"XDecoderZlib");
  GCoderState state{};
  ASSERT_EQ(coder->OutputBegin(&in, &state, 0), 1);
  Bytes out(data.size());
  EXPECT_EQ(coder->Output(out.data(), UINT(out.size()), &state), 1);
  EXPECT_EQ(state.bStreamEnd, 1u);
  EXPECT_EQ(in.calls, 2);
  EXPECT_TRUE(out == data);
  EXPECT_EQ(coder->OutputEnd(), 1);
}

TEST_F(CoderTest, DestroyedWhileCodingDropsStreamAndInput) {
  for (const char16_t* name : {u"XEncoderZlib", u"XDecoderZlib"}) {
    SCOPED_TRACE(U8(name));
    const Bytes data = Sample(100000);
    TestInput in(name[1] == u'D' ? Compress(data, 6) : data, 4096);
    {
      GCompRef<OCoder> coder = Make(name);
      GCoderState state{};
      ASSERT_EQ(coder->OutputBegin(&in, &state, 6), 1);
      Bytes buf(512);
      ASSERT_EQ(coder->Output(buf.data(), 512, &state), 1);
      EXPECT_EQ(in.refs, 1);
    }
    // The zlib stream's memory is checked by the leak sanitizer.
    EXPECT_EQ(in.refs, 0);
    EXPECT_EQ(in.ends, 0);
  }
}

// --- whole-buffer coding (OBlockEncoder / OBlockDecoder)

class BlockCoderTest : public CoderTest {
 protected:
  // The coder component stays held by the test fixture's reference while the interface is used.
  OBlockEncoder* Encoder() {
    m_held.push_back(Make(u"XEncoderZlib"));
    return static_cast<OBlockEncoder*>(m_held.back()->GetInterface(u"OBlockEncoder"));
  }
  OBlockDecoder* Decoder() {
    m_held.push_back(Make(u"XDecoderZlib"));
    return static_cast<OBlockDecoder*>(m_held.back()->GetInterface(u"OBlockDecoder"));
  }
  void TearDown() override {
    m_held.clear();
    CoderTest::TearDown();
  }
  // The whole-buffer encoder's stream of data at level.
  Bytes Encode(const Bytes& data, int level) {
    OBlockEncoder* enc = Encoder();
    Bytes out(size_t(enc->EncodeBound(data.size(), level)));
    out.resize(size_t(enc->Encode(data.data(), data.size(), out.data(), out.size(), level)));
    return out;
  }

 private:
  std::vector<GCompRef<OCoder>> m_held;
};

TEST_F(BlockCoderTest, EachCoderAnswersItsOwnBlockInterface) {
  GCompRef<OCoder> enc = Make(u"XEncoderZlib"), dec = Make(u"XDecoderZlib");
  EXPECT_NE(enc->GetInterface(u"OBlockEncoder"), nullptr);
  EXPECT_EQ(enc->GetInterface(u"OBlockDecoder"), nullptr);
  EXPECT_NE(dec->GetInterface(u"OBlockDecoder"), nullptr);
  EXPECT_EQ(dec->GetInterface(u"OBlockEncoder"), nullptr);
}

// Every stream the encoder writes is one plain zlib stream that zlib's own inflate reads to
// its end; a room one byte short of it, or a level outside 1..12, gives 0.
TEST_F(BlockCoderTest, EncodedStreamsAreReadByZlib) {
  Bytes noise(70000);
  std::mt19937 rng(3);
  for (auto& b : noise) b = uint8_t(rng());
  const struct {
    const char* what;
    Bytes data;
    int level;
  } cases[] = {{"empty", {}, 5}, {"one byte", {42}, 1}, {"mixed level 1", Sample(300000), 1},
               {"mixed level 5", Sample(300000), 5}, {"mixed level 12", Sample(100000), 12}, {"noise", noise, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes stream = Encode(c.data, c.level);
    ASSERT_FALSE(stream.empty());
    Bytes back(c.data.size() + 1);
    uLongf n = uLongf(back.size());
    uLong used = uLong(stream.size());
    EXPECT_EQ(uncompress2(back.data(), &n, stream.data(), &used), Z_OK);
    EXPECT_EQ(used, stream.size()) << "the stream ends with the bytes written";
    back.resize(n);
    EXPECT_TRUE(back == c.data);

    Bytes small(stream.size() - 1);
    EXPECT_EQ(Encoder()->Encode(c.data.data(), c.data.size(), small.data(), small.size(), c.level), 0u);
  }
  const Bytes data = Sample(1000);
  Bytes out(4096);
  for (int level : {0, 13, -1}) {
    EXPECT_EQ(Encoder()->EncodeBound(data.size(), level), 0u) << level;
    EXPECT_EQ(Encoder()->Encode(data.data(), data.size(), out.data(), out.size(), level), 0u) << level;
  }
}

// Streams zlib wrote, at any level and in flushed pieces, decode whole; one that fills less
// than the room or is followed by other bytes decodes as well, one longer than the room not.
TEST_F(BlockCoderTest, DecoderReadsZlibStreamsWithSpareRoomAndSpareBytes) {
  const Bytes data = Sample(200000);
  Bytes flushed;
  {
    z_stream s{};
    ASSERT_EQ(deflateInit(&s, 4), Z_OK);
    flushed.resize(deflateBound(&s, uLong(data.size())) + 4096);
    s.next_out = flushed.data();
    s.avail_out = uInt(flushed.size());
    for (size_t at = 0; at < data.size(); at += 30000) {
      s.next_in = const_cast<Bytef*>(data.data() + at);
      s.avail_in = uInt(std::min<size_t>(30000, data.size() - at));
      deflate(&s, at + 30000 >= data.size() ? Z_FINISH : Z_FULL_FLUSH);
    }
    flushed.resize(s.total_out);
    deflateEnd(&s);
  }
  auto withSpare = [](Bytes s) {
    s.insert(s.end(), {0x78, 0x9C, 0, 1, 2});
    return s;
  };
  const struct {
    const char* what;
    Bytes stream;
    size_t room;
    bool ok;
  } cases[] = {
      {"zlib level 0", Compress(data, 0), data.size(), true},
      {"zlib level 1", Compress(data, 1), data.size(), true},
      {"zlib level 9", Compress(data, 9), data.size(), true},
      {"flushed pieces", flushed, data.size(), true},
      {"room to spare", Compress(data, 4), data.size() + 5000, true},
      {"bytes after the stream", withSpare(Compress(data, 4)), data.size(), true},
      {"longer than the room", Compress(data, 4), data.size() - 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes out(c.room, 0xEE);
    uint64_t written = 12345;
    ASSERT_EQ(Decoder()->Decode(c.stream.data(), c.stream.size(), out.data(), out.size(), &written), c.ok ? 1 : 0);
    if (!c.ok) continue;
    EXPECT_EQ(written, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
  }
}

// Every stream the piecewise decoder refuses, the whole-buffer one refuses too.
TEST_P(CoderBadStream, BlockDecoderRefusesItToo) {
  const Bytes data = Sample(20000);
  const Bytes stream = GetParam().make(data, Compress(data, 6));
  GCompRef<OCoder> coder = Make(u"XDecoderZlib");
  auto* block = static_cast<OBlockDecoder*>(coder->GetInterface(u"OBlockDecoder"));
  ASSERT_NE(block, nullptr);
  Bytes out(data.size() + 100);
  uint64_t written = 0;
  EXPECT_EQ(block->Decode(stream.data(), stream.size(), out.data(), out.size(), &written), 0);
}

// Threads coding at once, each at its own level, on coder state of their own.
TEST_F(BlockCoderTest, ThreadsCodeAtOnce) {
  const Bytes data = Sample(120000);
  std::vector<Bytes> expect;
  for (int level : {1, 5, 9}) expect.push_back(Encode(data, level));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      const int level = t == 0 ? 1 : t == 1 ? 5 : 9;
      for (int round = 0; round < 4; ++round) {
        Bytes stream(size_t(block_deflate::EncodeBound(data.size(), level)));
        stream.resize(size_t(block_deflate::Encode(data.data(), data.size(), stream.data(), stream.size(), level)));
        Bytes back(data.size());
        uint64_t written = 0;
        if (stream != expect[size_t(t)] ||
            !block_deflate::Decode(stream.data(), stream.size(), back.data(), back.size(), &written) || back != data)
          ++wrong;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
