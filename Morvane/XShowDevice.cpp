#include "XShowDevice.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "Compositor.h"
#include "SharedPool.h"
#include "platform/base/TilePool.h"
#include "ViewMath.h"
#include "ViewRenderer.h"
#include "odata/GSystem.h"
#include "odata/OLayer.h"
#include "platform/base/Text.h"

namespace {

// The bits the device itself sets on an entry; a caller's word never brings them in, so an
// entry's word always describes the entries the device actually made.
constexpr uint32_t kDeviceBits = LYR_TIDY_C32 | LYR_TIDY_NESTBASE | LYR_TIDY_NESTED | LYR_TIDY_MASKED |
                                 LYR_TIDY_GLASSED | LYR_TIDY_GLASS | LYR_TIDY_VISIBLE;

enum RecordKind { kPlain, kGlass, kCopy, kNest };

OLayer* AsLayer(OComponent* c) { return c ? static_cast<OLayer*>(c->GetInterface(u"OLayer__")) : nullptr; }

// Deletes a count-0 component that is not handed out.
void Discard(OComponent* c) {
  c->AddRef();
  c->Release();
}

bool Inside(const RECT& rc, const POINT& pt) {
  return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

size_t PixelIndex(const ShowParam& sp, const POINT& pt) {
  return size_t(pt.y - sp.rc.top) * sp.nPitch + size_t(pt.x - sp.rc.left);
}

// The high byte of an A16 pixel (its coverage) at a point inside the record.
uint32_t CoverageAt(const ShowParam& sp, const POINT& pt) {
  return uint32_t(reinterpret_cast<const uint16_t*>(sp.pPixels)[PixelIndex(sp, pt)] >> 8);
}

}  // namespace

ComposeEntry ToComposeEntry(const XShowDevice::PassRecord& r) {
  ComposeEntry e{};
  e.code = r.show.nKernel;
  const uint16_t o = uint16_t(r.show.dwColor >> 24);
  for (uint16_t& lane : e.opacity) lane = o;
  e.pitch = r.show.nPitch;
  e.source = r.show.pPixels;
  e.mask = r.masked ? reinterpret_cast<const uint16_t*>(r.mask.pPixels) : nullptr;
  e.left = r.show.rc.left;
  e.top = r.show.rc.top;
  e.right = r.show.rc.right;
  e.bottom = r.show.rc.bottom;
  for (uint32_t& c : e.colour) c = r.show.dwColor;
  return e;
}

// Abandons the pass when a throw leaves a pass operation: the entries are dropped, the state
// is ready and the renderer forgets a view it was given, so the next DrawBegin starts clean.
struct XShowDevice::PassGuard {
  explicit PassGuard(XShowDevice* d) : device(d) {}
  ~PassGuard() {
    if (!device) return;
    device->m_myState = myREADY;
    device->m_nLyrCnt = 0;
    if (device->m_pRenderer) device->m_pRenderer->Abandon();
  }
  void Dismiss() { device = nullptr; }
  XShowDevice* device;
};

XShowDevice::XShowDevice() = default;
XShowDevice::~XShowDevice() = default;

void* XShowDevice::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OShowDevice") == 0) return static_cast<OShowDevice*>(this);
  return nullptr;
}

void XShowDevice::SetBlockSkipping(bool on) { Renderer()->SetBlockSkipping(on); }

ViewRenderer* XShowDevice::Renderer() {
  if (!m_pRenderer) {
    m_pPool = std::make_unique<TilePool>();
    m_pRenderer = std::make_unique<ViewRenderer>();
    m_pRenderer->SetPool(m_pPool.get());
  }
  return m_pRenderer.get();
}

int XShowDevice::TakeEntries() {
  const int n = m_nLyrCnt;
  m_nLyrCnt = 0;
  m_myState = myREADY;
  return n;
}

void XShowDevice::Tidy(int n) {
  TidyEntry entries[kTableSize];
  for (int i = 0; i < n; ++i) {
    OLayer* l = m_apLayers[i];
    entries[i].format = l->GetFormat();
    entries[i].layerFlags = l->GetFlags();
    entries[i].isMask = l->IsMask() != FALSE;
    l->GetRect(&entries[i].rc);
    entries[i].glass = m_aGlassEntry[i];
  }
  TidyPass(entries, m_aTidyFlags, m_aLinks, n);
}

// Records, lowest first. A plain entry gives one record: A16 family 0, C32 family 8, C32 through
// its mask family 24 (with the mask's record). A group gives a COPY of its base (code 48), the
// records of what is drawn inside it, then a NEST with the base's rectangle and opacity (32 +
// the base's mode, 40 + mode with the base's mask). Groups are:
//  - a nest base: COPY base, [GLASS of the base], the nested entries lowest first, NEST base;
//  - a colour layer with a glass: COPY layer, GLASS (family 16 + the glass's mode), NEST layer,
//    so the stroke is seen as it will be merged: through the layer's mode, opacity and mask.
// Inside a nest group a colour layer with a glass is drawn plain with its glass as a plain A16
// entry over it (family 0 + the glass's mode): a group of its own there would be a second nest
// level, which the compositor cannot clip to the base on rows the base does not reach (it keeps
// one saved span per row), so nested layers after it would leak out of the base.
// A glass over an A16 layer is a plain A16 entry of its own above the layer.
// Codes: the show record's nKernel is MODE (+8 for C32); family and mode are taken from it.
int XShowDevice::BuildRecords(int n, int mip) {
  int count = 0;
  m_nRecords = 0;
  auto push = [&](int i, RecordKind kind, int maskIndex) {
    GVERIFY(count < int(std::size(m_aRecords)), u"!nRecords<LYR_MAX_RECORDS");
    PassRecord& r = m_aRecords[count];
    m_apLayers[i]->GetShowParam(&r.show, mip);
    r.masked = maskIndex >= 0;
    r.mask = ShowParam{};
    if (maskIndex >= 0) m_apLayers[size_t(maskIndex)]->GetShowParam(&r.mask, mip);
    const uint32_t mode = r.show.nKernel & 7;
    const bool colour = (r.show.nKernel & 8) != 0;
    switch (kind) {
      case kPlain:
        r.show.nKernel = (colour ? (r.masked ? COMPOSE_C32_MASKED : COMPOSE_C32) : COMPOSE_A16) + mode;
        break;
      case kGlass:
        r.show.nKernel = COMPOSE_GLASS + mode;
        break;
      case kCopy:
        r.show.nKernel = COMPOSE_COPY;
        break;
      case kNest:
        r.show.nKernel = (r.masked ? COMPOSE_NEST_MASKED : COMPOSE_NEST) + mode;
        break;
    }
    ++count;
  };
  // Whether entry i is drawn inside the group of base b (so the group is still open).
  auto inGroup = [&](int i, int b) {
    return m_aLinks[i].base == b || (i == b - 1 && m_aGlassEntry[i]) || i == m_aLinks[b].mask;
  };

  int open = -1;  // the base of the open nest group
  for (int i = n - 1; i >= 0; --i) {
    const uint32_t t = m_aTidyFlags[i];
    if (open >= 0 && !inGroup(i, open)) {
      push(open, kNest, m_aLinks[open].mask);
      open = -1;
    }
    // A colour layer's glass is drawn with its layer.
    if (!(t & LYR_TIDY_VISIBLE) || (t & LYR_TIDY_GLASS)) continue;
    if ((t & LYR_TIDY_GLASSED) && (t & LYR_TIDY_NESTED)) {
      GVERIFY(open >= 0, u"!nNestLevel>0");
      GVERIFY(i >= 1 && m_aGlassEntry[i - 1], u"!pLyrGlass_");
      push(i, kPlain, (t & LYR_TIDY_MASKED) ? m_aLinks[i].mask : -1);
      push(i - 1, kPlain, -1);
      continue;
    }
    if (t & (LYR_TIDY_NESTBASE | LYR_TIDY_GLASSED)) {
      if (t & LYR_TIDY_NESTBASE) GVERIFY(open < 0, u"!nNestLevel<2");
      push(i, kCopy, -1);
      if (t & LYR_TIDY_GLASSED) {
        GVERIFY(i >= 1 && m_aGlassEntry[i - 1], u"!pLyrGlass_");
        push(i - 1, kGlass, -1);
      }
      if (t & LYR_TIDY_NESTBASE) {
        open = i;
      } else {
        push(i, kNest, (t & LYR_TIDY_MASKED) ? m_aLinks[i].mask : -1);
      }
      continue;
    }
    if (t & LYR_TIDY_NESTED) GVERIFY(open >= 0, u"!nNestLevel>0");
    push(i, kPlain, (t & LYR_TIDY_MASKED) ? m_aLinks[i].mask : -1);
  }
  if (open >= 0) push(open, kNest, m_aLinks[open].mask);
  m_nRecords = count;
  return count;
}

int XShowDevice::DrawSingleLayer(const ViewTransform* view, OLayer* layer, const RECT* rc, const POINT* scroll) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    PassGuard guard(this);
    ViewRenderer* renderer = Renderer();
    const int mip = renderer->SetView(view);
    if (mip == -1) {
      guard.Dismiss();
      return -1;
    }
    if (OLayer* l = AsLayer(layer)) {
      ShowParam sp;
      l->GetShowParam(&sp, mip);
      sp.nKernel = (sp.nKernel & 8) ? COMPOSE_C32 : COMPOSE_A16;
      sp.dwColor = (sp.dwColor & 0xFFFFFFu) | (128u << 24);
      renderer->AddLayer(&sp, nullptr);
    }
    const int result = renderer->Render(rc, scroll);
    guard.Dismiss();
    return result;
  }
  GCATCH(GetClassName(), u"::DrawSingleLayer()")
}

BOOL XShowDevice::DrawBegin(const ViewTransform* view, BOOL forShow) {
  try {
    GVERIFY(m_myState != myDRAWING, u"!m_myState!=myDRAWING");
    m_bDrawForShow = forShow ? TRUE : FALSE;
    m_bHasView = view != nullptr;
    m_view = view ? *view : ViewTransform{};
    if (m_bDrawForShow) {
      PassGuard guard(this);
      const int mip = Renderer()->SetView(view);
      guard.Dismiss();
      if (mip == -1) return FALSE;
      m_nMipLevel = mip;
    }
    m_myState = myDRAWING;
    m_nLyrCnt = 0;
    m_nCalls = 0;
    return TRUE;
  }
  GCATCH(GetClassName(), u"::DrawBegin()")
}

void XShowDevice::DrawLayer(OLayer* layer, uint32_t tidy, OLayer* glass) {
  try {
    PassGuard guard(this);
    GVERIFY(m_myState == myDRAWING, u"!m_myState==myDRAWING");
    const int call = m_nCalls++;
    OLayer* lyr = AsLayer(layer);
    if (!lyr || m_nLyrCnt >= kMaxEntries) {
      guard.Dismiss();
      return;
    }
    auto append = [&](OLayer* l, uint32_t word, bool isGlass) {
      m_apLayers[m_nLyrCnt] = l;
      m_aTidyFlags[m_nLyrCnt] = word;
      m_aCall[m_nLyrCnt] = call;
      m_aGlassEntry[m_nLyrCnt] = isGlass;
      ++m_nLyrCnt;
    };
    tidy &= ~kDeviceBits;
    const bool colour = lyr->GetFormat() == OLayer::myFORMAT_C32;
    if (!glass) {
      if (colour) tidy |= LYR_TIDY_C32;
      if (!(lyr->GetFlags() & LYR_FLAG_HIDDEN)) tidy |= LYR_TIDY_VISIBLE;
      append(lyr, tidy, false);
    } else {
      OLayer* lyrGlass = AsLayer(glass);
      GVERIFY(lyrGlass, u"!pLyrGlass_");
      RECT rcLayer, rcGlass;
      lyr->GetRect(&rcLayer);
      lyrGlass->GetRect(&rcGlass);
      GVERIFY(rcGlass.left == rcLayer.left, u"!rcGlass.left==rcLayer.left");
      GVERIFY(rcGlass.top == rcLayer.top, u"!rcGlass.top==rcLayer.top");
      GVERIFY(rcGlass.right == rcLayer.right, u"!rcGlass.right==rcLayer.right");
      GVERIFY(rcGlass.bottom == rcLayer.bottom, u"!rcGlass.bottom==rcLayer.bottom");
      GVERIFY(lyrGlass->GetFormat() == OLayer::myFORMAT_A16, u"!poGlass->GetFormat()==OLayer::myFORMAT_A16");
      // The glass first: it lies above its layer. A layer drawn with a glass is drawn even
      // when it is hidden.
      if (colour) {
        append(lyrGlass, LYR_TIDY_GLASS | LYR_TIDY_VISIBLE, true);
        append(lyr, tidy | LYR_TIDY_GLASSED | LYR_TIDY_C32 | LYR_TIDY_VISIBLE, false);
      } else {
        append(lyrGlass, LYR_TIDY_VISIBLE, true);
        append(lyr, tidy | LYR_TIDY_VISIBLE, false);
      }
    }
    guard.Dismiss();
  }
  GCATCH(GetClassName(), u"::DrawLayer()")
}

int XShowDevice::DrawEnd(const RECT* rc, const POINT* scroll) {
  try {
    PassGuard guard(this);
    GVERIFY(m_myState == myDRAWING, u"!m_myState==myDRAWING");
    GVERIFY(m_bDrawForShow == TRUE, u"!m_bDrawForShow==TRUE");
    const int n = TakeEntries();
    Tidy(n);
    const int count = BuildRecords(n, m_nMipLevel);
    ViewRenderer* renderer = Renderer();
    for (int k = 0; k < count; ++k) {
      const PassRecord& r = m_aRecords[k];
      renderer->AddLayer(&r.show, r.masked ? &r.mask : nullptr);
    }
    const int result = renderer->Render(rc, scroll);
    guard.Dismiss();
    return result;
  }
  GCATCH(GetClassName(), u"::DrawEnd()")
}

// The compositor's weight numerator of entry i at a space point at level 0: what the kernel
// that draws it would mix in there (0: the entry leaves the pixel as it is).
int XShowDevice::WeightAt(int i, const POINT& pt) {
  const uint32_t t = m_aTidyFlags[i];
  ShowParam sp;
  m_apLayers[i]->GetShowParam(&sp, 0);
  if (!Inside(sp.rc, pt)) return 0;
  const uint32_t o = sp.dwColor >> 24;
  if (!(sp.nKernel & 8)) return int((CoverageAt(sp, pt) * o) >> 7);

  uint32_t alpha = reinterpret_cast<const uint32_t*>(sp.pPixels)[PixelIndex(sp, pt)] >> 24;
  uint32_t glass = 0;  // the glass's own A16 weight
  if (t & LYR_TIDY_GLASSED) {
    ShowParam gp;
    m_apLayers[i - 1]->GetShowParam(&gp, 0);
    if (Inside(gp.rc, pt)) glass = (CoverageAt(gp, pt) * (gp.dwColor >> 24)) >> 7;
    // In its own group the glass raises the layer's alpha in normal mode (as a merge will).
    if (!(t & LYR_TIDY_NESTED) && (gp.nKernel & 7) == myMODE_NORMAL)
      alpha = (((255 - glass) * (alpha + 1)) >> 8) + glass;
  }
  uint32_t m = 256;
  if ((t & LYR_TIDY_MASKED) && m_aLinks[i].mask >= 0) {
    ShowParam mp;
    m_apLayers[m_aLinks[i].mask]->GetShowParam(&mp, 0);
    m = Inside(mp.rc, pt) ? CoverageAt(mp, pt) : 0;
  }
  if ((t & LYR_TIDY_NESTBASE) || (t & (LYR_TIDY_GLASSED | LYR_TIDY_NESTED)) == LYR_TIDY_GLASSED) {
    // Drawn by the nest kernel.
    if (m != 256) alpha = (alpha * m) >> 8;
    return int((alpha * o) >> 7);
  }
  uint32_t a = (alpha * o) >> 7;
  if (m != 256) {
    a += a >> 7;
    a = (a * m) >> 8;
  }
  return int(std::max(a, glass));
}

// Picking. A layer shows at a point when the pass would draw it there with a non-zero weight:
// it is drawn after the tidy pass, the point lies in its rectangle, its coverage (alpha or
// A16 coverage, with its glass, times its opacity, through its mask) is non-zero there, and a
// nested layer's base shows there too. The blend mode is not asked: paint the mode leaves
// unchanged on this background (lighten over white) is still the painter's paint.
int XShowDevice::DrawEnd(const POINT* spacePoint) {
  try {
    PassGuard guard(this);
    GVERIFY(m_myState == myDRAWING, u"!m_myState==myDRAWING");
    GVERIFY(m_bDrawForShow == FALSE, u"!m_bDrawForShow==FALSE");
    const int n = TakeEntries();
    guard.Dismiss();
    if (!spacePoint) return -1;
    const POINT pt = *spacePoint;
    if (m_bHasView && (pt.x < 0 || pt.y < 0 || int64_t(pt.x) >= int64_t(m_view.spaceWidth) ||
                       int64_t(pt.y) >= int64_t(m_view.spaceHeight)))
      return -1;
    Tidy(n);
    for (int i = 0; i < n; ++i) {
      const uint32_t t = m_aTidyFlags[i];
      if (!(t & LYR_TIDY_VISIBLE) || (t & LYR_TIDY_GLASS)) continue;  // a glass answers as its layer
      if (WeightAt(i, pt) == 0) continue;
      const int base = m_aLinks[i].base;
      if (base >= 0 && WeightAt(base, pt) == 0) continue;
      return m_aCall[i];
    }
    return -1;
  }
  GCATCH(GetClassName(), u"::DrawEnd()")
}

// Sampling: the pass composed at level 0 over the whole space, in accumulator-sized tiles,
// on the view's background (opaque), into a new colour layer of the space's size.
namespace {

// A sampled composition cut into rows of tiles, which the shared pool composes side by side:
// every tile is composed alone, as the one-thread loop did, into rows of its own.
struct SampleBands {
  const ComposeEntry* entries;
  int count;
  int width, height;
  uint32_t background;
  LayerLock* out;
  std::vector<std::unique_ptr<ComposeWork>> works;  // one per worker
};

void ComposeSampleBand(void* context, int index, int worker) {
  SampleBands& b = *static_cast<SampleBands*>(context);
  ComposeWork* work = b.works[size_t(worker)].get();
  const int ty = index * ACC_SIDE;
  const int rows = std::min(ACC_SIDE, b.height - ty);
  for (int tx = 0; tx < b.width; tx += ACC_SIDE) {
    const int cols = std::min(ACC_SIDE, b.width - tx);
    work->originX = tx;
    work->originY = ty;
    work->spaceWidth = b.width;
    work->spaceHeight = b.height;
    work->insideColour = b.background;
    work->outsideColour = b.background;
    work->firstRow = 0;
    work->endRow = rows;
    for (int r = 0; r < rows; ++r) work->spans[r] = ComposeSpan{0, cols};
    LayerCompositor(work, b.entries, b.count);  // what the renderer runs
    for (int r = 0; r < rows; ++r) {
      auto* dst = reinterpret_cast<uint32_t*>(b.out->Row(ty + r)) + tx;
      for (int x = 0; x < cols; ++x) {
        const uint16_t* p = work->acc[r][x];
        dst[x] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
      }
    }
  }
}

}  // namespace

OLayer* XShowDevice::DrawEndForSample(LayerLock* out) {
  try {
    PassGuard guard(this);
    GVERIFY(m_myState == myDRAWING, u"!m_myState==myDRAWING");
    GVERIFY(m_bDrawForShow == FALSE, u"!m_bDrawForShow==FALSE");
    GVERIFY(out, u"!pLock");
    GVERIFY(m_bHasView, u"!pView");
    const int n = TakeEntries();
    Tidy(n);
    const int count = BuildRecords(n, 0);
    std::vector<ComposeEntry> entries(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) entries[size_t(k)] = ToComposeEntry(m_aRecords[k]);

    const int width = int(std::min<uint32_t>(m_view.spaceWidth, 0x7FFFFFFF));
    const int height = int(std::min<uint32_t>(m_view.spaceHeight, 0x7FFFFFFF));
    OLayer* layer = CreateLayer(width, height, OLayer::myFORMAT_C32, 0);
    try {
      out->Lock(layer, 0);
      SampleBands bands{entries.data(), count, width, height, 0xFF000000u | (m_view.background & 0xFFFFFFu), out, {}};
      const int tileRows = (height + ACC_SIDE - 1) / ACC_SIDE;
      // Any worker may take any row: one work each, or one when a single row runs here.
      bands.works.resize(size_t(tileRows > 1 ? shared_pool::Workers() : 1));
      for (auto& work : bands.works) work = std::make_unique<ComposeWork>();
      shared_pool::Run(tileRows, ComposeSampleBand, &bands);
    } catch (...) {
      out->Unlock();
      Discard(layer);
      throw;
    }
    guard.Dismiss();
    return layer;
  }
  GCATCH(GetClassName(), u"::DrawEndForSample()")
}

// Presenting before any screen pass has made the renderer shows nothing and answers 0.
int XShowDevice::Preset(HDC target, const RECT* rc) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    return m_pRenderer ? m_pRenderer->Output(target, rc) : 0;
  }
  GCATCH(GetClassName(), u"::Preset()")
}

void XShowDevice::GetBackBuffer(LayerLock* out) {
  if (!out) return;
  if (m_pRenderer) {
    m_pRenderer->GetBackBuffer(out);
    return;
  }
  static_cast<LayerInfo&>(*out) = LayerInfo{};
  out->pPixels = nullptr;
  out->cbRow = 0;
}

void XShowDevice::ScrollView(ViewTransform* view, int dx, int dy) {
  if (view) ViewScroll(*view, dx, dy);
}

float* XShowDevice::ClientToSpace(float out[2], const float in[2], const ViewTransform* view) {
  if (view) {
    ViewClientToSpace(out, in, *view);
  } else {
    out[0] = in[0];
    out[1] = in[1];
  }
  return out;
}

float* XShowDevice::SpaceToClient(float out[2], const float in[2], const ViewTransform* view) {
  if (view) {
    ViewSpaceToClient(out, in, *view);
  } else {
    out[0] = in[0];
    out[1] = in[1];
  }
  return out;
}

// Works in any pass state and touches nothing of a pass, so another thread may create layers
// while a pass is drawn.
OLayer* XShowDevice::CreateLayer(int width, int height, int format, UINT id) {
  try {
    GVERIFY(width >= 1 && width <= LYR_MAX_SIDE && height >= 1 && height <= LYR_MAX_SIDE, u"ERR_SIZE");
    GVERIFY(format == OLayer::myFORMAT_A16 || format == OLayer::myFORMAT_C32, u"ERR_FORMAT");
    GSystem* system = GetSystem();
    GVERIFY(system, u"!pLyr_");
    OComponent* obj = system->NewObj(u"Morvane", nullptr);
    OLayer* layer = AsLayer(obj);
    if (!layer) {
      if (obj) Discard(obj);
      GTHROW(u"!pLyr_");
    }
    try {
      layer->Initialize(this, width, height, format, id);
    } catch (...) {
      Discard(layer);
      throw;
    }
    return layer;
  }
  GCATCH(GetClassName(), u"::CreateLayer()",
         ->AppendArg(GArgInt(width))->AppendArg(GArgInt(height))->AppendArg(GArgInt(format))->AppendArg(GArgUint(id)))
}

uint64_t XShowDevice::GetLayerMemorySize(int width, int height, int pixelSize) {
  uint64_t w = (uint64_t(std::max(width, 0)) + 63) & ~uint64_t(63);
  uint64_t h = (uint64_t(std::max(height, 0)) + 63) & ~uint64_t(63);
  const uint64_t px = uint64_t(std::max(pixelSize, 0));
  uint64_t total = w * h * px;
  for (int level = 1; level < LYR_MIP_DEPTH; ++level) {
    w = w / 2 + 1;
    h = h / 2 + 1;
    total += w * h * px;
  }
  return total;
}
