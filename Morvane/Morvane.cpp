#include "Morvane.h"

#include <algorithm>
#include <cstdint>

#include <cstdlib>
#include <cstring>

#include "Surface.h"
#include "odata/GSystem.h"
#include "platform/base/Text.h"

Morvane::Morvane() : m_property(this, &m_nFormat) {}

Morvane::~Morvane() {
  std::free(m_apPixels[0]);
  std::free(m_apPixels[1]);
  std::free(m_pBackupBuffer);
  std::free(m_pHelperBuffer);
  delete[] m_pThumbnail;
}

void* Morvane::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OLayer") == 0 || plat::StrCmp(name, u"OLayer__") == 0) return static_cast<OLayer*>(this);
  if (plat::StrCmp(name, u"OProperty") == 0) return static_cast<OProperty*>(&m_property);
  if (plat::StrCmp(name, u"Morvane") == 0) return this;
  return nullptr;
}

void Morvane::RequireState(int32_t state, const char16_t* condition) const {
  if (m_myState != state) GTHROW(condition);
}

void Morvane::Initialize(OShowDevice* device, int width, int height, int format, UINT id) {
  Make(device, width, height, format, id, true);
}

void Morvane::Make(OShowDevice* device, int width, int height, int format, UINT id, bool clearSurface) {
  try {
    RequireState(myNULL, u"!m_myState==myNULL");
    GVERIFY(format == myFORMAT_A16 || format == myFORMAT_C32, u"!nFormat==myFORMAT_A16||nFormat==myFORMAT_C32");
    GVERIFY(width > 0 && height > 0 && width <= LYR_MAX_SIDE && height <= LYR_MAX_SIDE,
            u"!nWidth>0&&nHeight>0&&nWidth<=10000&&nHeight<=10000");
    // A failed earlier attempt may have left its primary surface.
    std::free(m_apPixels[0]);
    std::free(m_apPixels[1]);
    m_apPixels[0] = m_apPixels[1] = nullptr;
    m_nWidth = width;
    m_nHeight = height;
    m_nID = id;
    m_pDevice = device;
    m_nPixelSize = m_nFormat = format;
    uint32_t pitch = (uint32_t(width) + 63) & ~63u;
    uint32_t rows = (uint32_t(height) + 63) & ~63u;
    m_anPitch[0] = pitch;
    m_anHeight[0] = rows;
    m_nPaddedHeight = rows;
    m_nPrimarySurfaceMemorySize = uint64_t(pitch) * rows * uint64_t(format);
    m_apPixels[0] = AllocLayerSurface(m_nPrimarySurfaceMemorySize, clearSurface);
    GVERIFY(m_apPixels[0], u"!m_apPixels[0]=(LPBYTE)_aligned_malloc(m_nPrimarySurfaceMemorySize+4, 8)");
    uint64_t offsets[LYR_MIP_DEPTH] = {};
    uint64_t offset = 0;
    for (int i = 1; i < LYR_MIP_DEPTH; ++i) {
      m_anPitch[i] = m_anPitch[i - 1] / 2 + 1;
      m_anHeight[i] = m_anHeight[i - 1] / 2 + 1;
      offsets[i] = offset;
      offset += uint64_t(m_anPitch[i]) * m_anHeight[i] * uint64_t(format);
    }
    m_nMipmapSurfaceMemorySize = offset;
    m_apPixels[1] = AllocLayerSurface(m_nMipmapSurfaceMemorySize);
    GVERIFY(m_apPixels[1], u"!m_apPixels[1]=(LPBYTE)_aligned_malloc(m_nMipmapSurfaceMemorySize+4, 8)");
    for (int i = 2; i < LYR_MIP_DEPTH; ++i) m_apPixels[i] = m_apPixels[1] + offsets[i];
    m_occupancy.Reset(BlockColumns(), BlockRows(), !clearSurface);
    m_myState = myREADY;
  }
  GCATCH(GetClassName(), u"::Initialize()",
         ->AppendArg(GArgInt(m_myState))
             ->AppendArg(GArgUint(uint32_t(m_nPrimarySurfaceMemorySize)))
             ->AppendArg(GArgUint(uint32_t(m_nMipmapSurfaceMemorySize)))
             ->AppendArg(GArgInt(width))
             ->AppendArg(GArgInt(height))
             ->AppendArg(GArgInt(format)))
}

BOOL Morvane::IsMask() {
  return m_nFormat == myFORMAT_A16 && m_property.Value(LayerProperty::MASK) != 0 ? TRUE : FALSE;
}

void Morvane::MipAlign() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
  }
  GCATCH(GetClassName(), u"::MipAlign()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::GetPosition(POINT* out, BOOL bSaved) {
  if (!out) return;
  out->x = bSaved ? m_xSaved : m_x;
  out->y = bSaved ? m_ySaved : m_y;
}

void Morvane::SetPosition(int x, int y, BOOL bSaved) {
  (bSaved ? m_xSaved : m_x) = x;
  (bSaved ? m_ySaved : m_y) = y;
  m_occupancy.Moved();
}

void Morvane::SavePosition() {
  m_xSaved = m_x;
  m_ySaved = m_y;
}

void Morvane::SetName(const char16_t* name) {
  std::memset(m_szName, 0, sizeof m_szName);
  m_nNameLength = name ? uint32_t(plat::CopyTrunc(m_szName, 64, name)) : 0;
}

void Morvane::GetRect(RECT* out) {
  try {
    GVERIFY(m_myState != myNULL, u"!m_myState!=myNULL");
    // A layer moved far out must not wrap its far edge round to the other side.
    auto edge = [](int32_t at, int32_t side) {
      return int32_t(std::min<int64_t>(int64_t(at) + side, INT32_MAX));
    };
    *out = RECT{m_x, m_y, edge(m_x, m_nWidth), edge(m_y, m_nHeight)};
  }
  GCATCH(GetClassName(), u"::GetRect()", ->AppendArg(GArgInt(m_myState)))
}

uint32_t Morvane::ColorWithAlpha() const {
  uint32_t alpha = uint32_t(m_property.Value(LayerProperty::ALPHA)) * 255 / 100;
  return (m_dwColor & 0xFFFFFF) | (alpha << 24);
}

void Morvane::GetInfo(LayerInfo* out) {
  try {
    GVERIFY(m_myState != myNULL, u"!m_myState!=myNULL");
    *out = LayerInfo{m_nWidth, m_nHeight, int32_t(m_anPitch[0]), m_nPixelSize, m_x, m_y, ColorWithAlpha(), 0};
  }
  GCATCH(GetClassName(), u"::GetInfo()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::Cleanup() {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    std::memset(m_apPixels[0], 0, size_t(m_nPrimarySurfaceMemorySize));
    std::memset(m_apPixels[1], 0, size_t(m_nMipmapSurfaceMemorySize));
    m_occupancy.Clear();
  }
  GCATCH(GetClassName(), u"::Cleanup()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::CleanupLowByte() {
  if (m_nFormat != myFORMAT_A16) return;
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY((m_nPrimarySurfaceMemorySize & 63) == 0, u"!0==(m_nPrimarySurfaceMemorySize & 63)");
    // Every 16-bit coverage keeps its high byte.
    auto* p = reinterpret_cast<uint16_t*>(m_apPixels[0]);
    size_t n = size_t(m_nPrimarySurfaceMemorySize / 2);
    for (size_t i = 0; i < n; ++i) p[i] &= 0xFF00;
  }
  GCATCH(GetClassName(), u"::CleanupLowByte()", ->AppendArg(GArgInt(m_myState)))
}

uint32_t Morvane::GetColor(const POINT* pt, BOOL* pbInside) {
  if (pt && m_myState != myNULL) {
    // Unsigned differences put points left of or above the layer outside too.
    uint32_t cx = uint32_t(pt->x - m_x), cy = uint32_t(pt->y - m_y);
    if (cx < uint32_t(m_nWidth) && cy < uint32_t(m_nHeight)) {
      if (pbInside) *pbInside = TRUE;
      const BYTE* at = m_apPixels[0] + (size_t(cy) * m_anPitch[0] + cx) * size_t(m_nPixelSize);
      if (m_nFormat == myFORMAT_C32) {
        uint32_t v;
        std::memcpy(&v, at, 4);
        return v;
      }
      uint16_t cover;
      std::memcpy(&cover, at, 2);
      uint32_t c = m_dwColor;
      uint32_t swapped = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
      return swapped | (uint32_t(cover >> 8) << 24);
    }
  }
  if (pbInside) *pbInside = FALSE;
  return ColorWithAlpha();
}

void Morvane::GetShowParam(ShowParam* out, int level) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    GVERIFY(UINT(level) < UINT(LYR_MIP_DEPTH), u"!(UINT)nMipLevel<LYR_MIP_DEPTH");
    int32_t step = int32_t(1) << level;
    out->rc.left = m_x >> level;
    out->rc.top = m_y >> level;
    out->rc.right = int32_t((int64_t(m_x) + m_nWidth + step - 1) >> level);
    out->rc.bottom = int32_t((int64_t(m_y) + m_nHeight + step - 1) >> level);
    out->nPitch = m_anPitch[level];
    int32_t mode = m_property.Value(LayerProperty::MODE);
    out->nKernel = uint32_t(mode + (m_nFormat == myFORMAT_C32 ? 8 : 0));
    uint32_t c = m_dwColor;
    uint32_t opacity = uint32_t(m_property.Value(LayerProperty::ALPHA)) * 128 / 100;
    out->dwColor = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF) | (opacity << 24);
    out->pPixels = m_apPixels[level];
    out->dwReserved = 0;
    out->pBlocks = m_occupancy.Level(level, OccupancySurface(), &out->nBlockPitch);
    if (!out->pBlocks) out->nBlockPitch = 0;
    out->nBlockSide = uint32_t(BlockOccupancy::CellSide(level));
  }
  GCATCH(GetClassName(), u"::GetShowParam()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgInt(level)))
}

BOOL Morvane::Lock(LayerLock* record, UINT flags) {
  try {
    RequireState(myREADY, u"!m_myState==myREADY");
    if (!(flags & (LYR_LOCK_READ | LYR_LOCK_MARKED))) m_occupancy.MarkUnsure();
    GetInfo(record);
    record->cbRow = uint32_t(RowBytes());
    record->pPixels = m_apPixels[0];
    record->pBackup = m_pBackupBuffer;
    record->pHelper = m_pHelperBuffer;
    m_myState = myLOCK;
    return TRUE;
  }
  GCATCH(GetClassName(), u"::Lock()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::Unlock() {
  try {
    RequireState(myLOCK, u"!m_myState==myLOCK");
    m_myState = myREADY;
  }
  GCATCH(GetClassName(), u"::Unlock()", ->AppendArg(GArgInt(m_myState)))
}

void Morvane::CopyInfoFrom(OLayer* from) {
  if (!from) return;
  SetName(from->GetName());
  auto* props = static_cast<OProperty*>(from->GetInterface(u"OProperty"));
  BOOL inside = FALSE;
  m_dwColor = from->GetColor(nullptr, &inside) & 0xFFFFFF;
  if (!props) return;
  for (const char16_t* key : {u"ALPHA", u"MODE", u"MASK"}) {
    UINT at = 0;
    PropertyItem* item = props->FindByName(&at, key);
    if (!item) continue;
    UINT mine = 0;
    if (m_property.FindByName(&mine, key)) m_property.SetValue(mine, item->value);
  }
}
