#include "MyListLayer.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "LayerRecordPipeline.h"
#include "core/FileRefusal.h"
#include "odata/GError.h"
#include "odata/LittleEndian.h"
#include "odata/LayerRecordHeader.h"
#include "platform/base/Memory.h"
#include "platform/gui/MessageBox.h"

namespace {

constexpr uint32_t kNoSelection = 0xFFFFFFFFu;
constexpr UINT kLastLayerID = 10000;

// The limits were drawn for a 32-bit address space; they stay, and the machine's memory
// is compared as at most 4 GB.
constexpr uint64_t kMemoryCeiling = 0xFFFFFFFFull;
constexpr uint64_t kMaxLayerBytes = 0x10000000;  // one layer below 256 MB
constexpr uint64_t kMaxAllBytes = 0x40000000;    // all layers below 1 GB

// Change flags after an undo: these rebuild every mip level, these only the marked blocks.
constexpr uint32_t kRefreshAll = 0x28;
constexpr uint32_t kRefreshMarked = 0x5;

// The machine's memory; one that does not tell is taken at the ceiling, the fixed limits
// still hold.
plat::MemoryStatus MachineMemory() {
  plat::MemoryStatus status{};
  if (!plat::GetMemoryStatus(&status)) status = {kMemoryCeiling, kMemoryCeiling};
  return status;
}

// What the paint tool takes at once when it starts on a layer: a copy of its pixels to undo
// from and, for a colour layer, a helper surface as large. The engine pads a surface to
// whole 64-pixel blocks.
uint64_t PaintCopyBytes(uint32_t width, uint32_t height, uint32_t format) {
  const uint64_t surface = ((uint64_t(width) + 63) & ~uint64_t(63)) * ((uint64_t(height) + 63) & ~uint64_t(63)) * format;
  return format == uint32_t(OLayer::myFORMAT_C32) ? 2 * surface : surface;
}

constexpr const char16_t* kSaveTrace = u"CMyListLayer::XFileSave";
constexpr const char16_t* kLoadTrace = u"CMyListLayer::XFileLoad";

}  // namespace

void LayerSectionHeader::Store(BYTE out[kBytes]) const {
  std::memset(out, 0, kBytes);
  PutLE32(out, dwCheck);
  PutLE32(out + 4, dwSize);
  PutLE32(out + 8, dwLayerCount);
  PutLE32(out + 12, dwCurSel);
}

LayerSectionHeader LayerSectionHeader::Parse(const BYTE in[kBytes]) {
  return LayerSectionHeader{GetLE32(in), GetLE32(in + 4), GetLE32(in + 8), GetLE32(in + 12)};
}

CMyListLayer::CMyListLayer(GSystem* system, OShowDevice* device) : m_pSystem(system), m_pDevice(device) {}

CMyListLayer::~CMyListLayer() {
  m_cpUndoLayer.Release();
  while (!m_rows.empty()) m_rows.pop_back();
}

void CMyListLayer::RowsChanged() {
  if (!m_bRedraw) {
    m_bRedrawPending = TRUE;
    return;
  }
  if (m_pObserver) m_pObserver->OnRowsChanged();
}

void CMyListLayer::Announce(int oldIndex, int newIndex) {
  if (m_pObserver) m_pObserver->OnSelChanged(oldIndex, newIndex);
}

void CMyListLayer::SetCurSelect(int index) {
  try {
    const int old = m_nCurSel;
    m_nCurSel = index >= 0 && index < GetCount() ? index : -1;
    OnSelectionChanged(old);
  }
  GCATCH(GetClassName(), u"::SetCurSelect()", ->AppendArg(GArgInt(index)))
}

void CMyListLayer::OnSelectionChanged(int oldIndex) {
  RedrawItem(oldIndex);
  if (m_nCurSel != oldIndex) RedrawItem(m_nCurSel);
  Announce(oldIndex, m_nCurSel);
}

int CMyListLayer::AddLayer(int index, OLayer* layer) {
  if (!layer || GetCount() >= LYR_MAX_SUM) return -1;
  const int at = index < 0 || index > GetCount() ? GetCount() : index;
  m_rows.insert(m_rows.begin() + at, GCompRef<OLayer>(layer));
  if (m_nCurSel >= at) ++m_nCurSel;
  RowsChanged();
  return at;
}

OLayer* CMyListLayer::DetachLayer(int index) {
  if (index < 0 || index >= GetCount()) return nullptr;
  // The row's reference passes to the caller.
  OLayer* layer = std::exchange(m_rows[size_t(index)].m_ptr, nullptr);
  m_rows.erase(m_rows.begin() + index);
  const int old = m_nCurSel;
  if (old == index)
    m_nCurSel = -1;
  else if (old > index)
    --m_nCurSel;
  RowsChanged();
  if (old == index) Announce(old, -1);
  return layer;
}

BOOL CMyListLayer::MoveLayer(int from, int to) {
  const int n = GetCount();
  if (from < 0 || from >= n || to < 0 || to >= n || from == to) return FALSE;
  auto first = m_rows.begin();
  if (from < to)
    std::rotate(first + from, first + from + 1, first + to + 1);
  else
    std::rotate(first + to, first + from, first + from + 1);
  if (m_nCurSel == from)
    m_nCurSel = to;
  else if (from < m_nCurSel && m_nCurSel <= to)
    --m_nCurSel;
  else if (to <= m_nCurSel && m_nCurSel < from)
    ++m_nCurSel;
  RowsChanged();
  return TRUE;
}

void CMyListLayer::AttachSpace(CPaintSpace* space) {
  try {
    GVERIFY(GetCount() == 0, u"!GetCount()==0");
    m_pSpace = space;
  }
  GCATCH(GetClassName(), u"::AttachSpace()")
}

void CMyListLayer::DetachSpace() {
  m_pSpace = nullptr;
  m_cpUndoLayer.Release();
  m_changed.clear();
  m_nCurSel = -1;
  while (!m_rows.empty()) m_rows.pop_back();
  RowsChanged();
}

OLayer* CMyListLayer::GetLayer(int index) const {
  return index >= 0 && index < GetCount() ? m_rows[size_t(index)].get() : nullptr;
}

OLayer* CMyListLayer::GetCurLayer() const { return GetLayer(m_nCurSel); }

OLayer* CMyListLayer::GetSourceLayer() const {
  for (int i = GetCount() - 1; i >= 0; --i) {
    OLayer* l = GetLayer(i);
    if (l && (l->GetFlags() & LYR_FLAG_SOURCE)) return l;
  }
  return nullptr;
}

BOOL CMyListLayer::CheckWritable(BOOL showMessage) const {
  OLayer* l = GetCurLayer();
  if (!l) return FALSE;
  if (!(l->GetFlags() & LYR_FLAG_PROTECT)) return TRUE;
  if (showMessage) gui::ShowMessage(u"失败", u"图层有写保护");
  return FALSE;
}

void CMyListLayer::RedrawItem(int index) {
  if (index < 0 || index >= GetCount()) return;
  if (!m_bRedraw) {
    m_bRedrawPending = TRUE;
    return;
  }
  if (m_pObserver) m_pObserver->OnRowChanged(index);
}

void CMyListLayer::SetRedraw(BOOL on) {
  m_bRedraw = on ? TRUE : FALSE;
  if (m_bRedraw && m_bRedrawPending) {
    m_bRedrawPending = FALSE;
    if (m_pObserver) m_pObserver->OnRowsChanged();
  }
}

void CMyListLayer::BeginSpaceUndo() {
  m_nUndoSel = m_nCurSel;
  m_cpUndoLayer = GetCurLayer();
  m_changed.clear();
  for (int i = GetCount() - 1; i >= 0; --i) m_rows[size_t(i)]->PAT_MarkReset();
}

void CMyListLayer::MarkChanged(int index) {
  if (OLayer* layer = GetLayer(index)) m_changed.push_back(layer);
}

void CMyListLayer::EndSpaceUndo() {
  try {
    for (int i = GetCount() - 1; i >= 0; --i) {
      OLayer* layer = m_rows[size_t(i)];
      const BOOL recalled = layer->PAT_MarkRecall();
      const uint32_t flags = layer->GetChangeFlags();
      if (flags & kRefreshAll)
        layer->MipRefresh(nullptr);
      else if ((flags & kRefreshMarked) && recalled)
        layer->PAT_MarkMipRefresh();
      if (flags || std::find(m_changed.begin(), m_changed.end(), layer) != m_changed.end()) RedrawItem(i);
    }
    m_changed.clear();

    // The rows may have come and gone: the selection is put back as near as the count
    // allows, and announced when the index or the layer under it differs.
    const int n = GetCount();
    const int sel = m_nUndoSel < 0 || n == 0 ? -1 : std::min(m_nUndoSel, n - 1);
    const bool moved = sel != m_nCurSel || GetLayer(sel) != m_cpUndoLayer.get();
    const int old = m_nCurSel;
    m_nCurSel = sel;
    m_cpUndoLayer.Release();
    if (moved) OnSelectionChanged(old);
    GVERIFY(VerifyUniqueID(), u"!VerifyUniqueID()");
  }
  GCATCH(GetClassName(), u"::EndSpaceUndo()")
}

uint64_t CMyListLayer::LayerLimit(uint64_t totalPhysical) {
  return std::min(std::min(totalPhysical, kMemoryCeiling) / 4, kMaxLayerBytes);
}

uint64_t CMyListLayer::AllLayersLimit(uint64_t totalPhysical) {
  return std::min(std::min(totalPhysical, kMemoryCeiling) / 2, kMaxAllBytes);
}

BOOL CMyListLayer::MemoryAllows(uint64_t layerBytes, uint64_t allBytes, uint64_t totalPhysical) {
  return layerBytes < LayerLimit(totalPhysical) && allBytes < AllLayersLimit(totalPhysical) ? TRUE : FALSE;
}

BOOL CMyListLayer::CheckMemory(int width, int height, int format, int exclude) {
  try {
    GVERIFY(m_pDevice, u"!m_pDevice");
    const uint64_t total = MachineMemory().totalPhysical;
    const uint64_t one = m_pDevice->GetLayerMemorySize(width, height, format);
    uint64_t all = one;
    for (int i = 0; i < GetCount(); ++i)
      if (i != exclude) all += m_rows[size_t(i)]->GetMemorySize();
    const char16_t* refusal = nullptr;
    if (!MemoryAllows(one, all, total))
      refusal = u"内存不足";
    else if (GetCount() >= LYR_CREATE_MAX_ROWS)
      refusal = u"容量不足";
    if (!refusal) return TRUE;
    if (m_pObserver) m_pObserver->OnMessage(refusal);
    return FALSE;
  }
  GCATCH(GetClassName(), u"::CheckMemory()",
         ->AppendArg(GArgInt(width))->AppendArg(GArgInt(height))->AppendArg(GArgInt(format))->AppendArg(GArgInt(exclude)))
}

void CMyListLayer::KeepOneSourceMark() {
  const OLayer* kept = GetSourceLayer();
  for (auto& row : m_rows) {
    const uint32_t flags = row->GetFlags();
    if ((flags & LYR_FLAG_SOURCE) && row.get() != kept) row->SetFlags(flags & ~LYR_FLAG_SOURCE);
  }
}

BOOL CMyListLayer::VerifyUniqueID() const {
  for (size_t i = 1; i < m_rows.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (m_rows[i]->GetID() == m_rows[j]->GetID()) return FALSE;
  return TRUE;
}

UINT CMyListLayer::NewLayerID() const {
  for (UINT id = 1; id < kLastLayerID; ++id) {
    bool used = false;
    for (const auto& row : m_rows) used = used || row->GetID() == id;
    if (!used) return id;
  }
  return kLastLayerID;
}

void CMyListLayer::RenumberDuplicateIDs() {
  for (size_t i = 1; i < m_rows.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (m_rows[i]->GetID() == m_rows[j]->GetID()) {
        m_rows[i]->SetID(NewLayerID());
        break;
      }
}

// The section's writer. The rows are borrowed from Begin to End: the list does not change
// while the document is written.
BOOL CMyListLayer::XFileSave::Begin(UINT* progressTotal) {
  try {
    m_nLayerCount = 0;
    const int n = m_pList->GetCount();
    for (int i = 0; i < n; ++i) {
      m_apLayers[i] = m_pList->GetLayer(i);
      if (progressTotal) *progressTotal += m_apLayers[i]->GetProgressTotal();
    }
    m_nLayerCount = UINT(n);
    m_dwSelected = uint32_t(m_pList->GetCurSel());
    return TRUE;
  }
  GCATCH(kSaveTrace, u"::Begin()")
}

BOOL CMyListLayer::XFileSave::Save(OFileOut* file, uint64_t* pBytes, JobControl* control) {
  try {
    if (!file) return FALSE;
    // The header is written last, over the place left for it, once every record stands.
    const int64_t start = file->Tell();
    if (start < 0 || !file->Seek(int64_t(LayerSectionHeader::kBytes), 1)) return FALSE;
    uint64_t size = LayerSectionHeader::kBytes;
    if (!layer_records::Save(m_apLayers, m_nLayerCount, file, control, &size)) return FALSE;
    const int64_t end = file->Tell();
    if (size > UINT32_MAX || end < start || uint64_t(end - start) != size) return FALSE;
    LayerSectionHeader fh{0, uint32_t(size), m_nLayerCount, m_dwSelected};
    fh.dwCheck = fh.Sum();
    BYTE head[LayerSectionHeader::kBytes];
    fh.Store(head);
    if (!file->Seek(start, 0) || file->Write(head, sizeof head, 1) != 1 || !file->Seek(end, 0)) return FALSE;
    if (pBytes) *pBytes += size;
    m_nLayerCount = 0;
    m_dwSelected = 0;
    return TRUE;
  }
  GCATCH(kSaveTrace, u"::Save()", ->AppendArg(GArgUint(m_nLayerCount))->AppendArg(GArgPtr(control)))
}

BOOL CMyListLayer::XFileSave::End() {
  m_nLayerCount = 0;
  m_dwSelected = 0;
  return TRUE;
}

CMyListLayer::XFileLoad::~XFileLoad() { DropLoaded(); }

void CMyListLayer::XFileLoad::DropLoaded() {
  for (UINT i = 0; i < m_nLayerCount; ++i)
    if (OLayer* layer = std::exchange(m_apLayers[i], nullptr)) layer->Release();
  m_nLayerCount = 0;
}

BOOL CMyListLayer::XFileLoad::Begin() {
  DropLoaded();
  m_dwSelected = 0;
  // A document is loaded into an empty list only.
  return m_pList->GetCount() == 0 ? TRUE : FALSE;
}

BOOL CMyListLayer::XFileLoad::Load(OFileIn* file, uint64_t* pBytes, JobControl* control) {
  try {
    GVERIFY(0 == m_nLayerCount, u"!0==m_nLayerCount");
    // Whatever stops the section, nothing read so far outlives it.
    try {
      if (ReadSection(file, pBytes, control)) return TRUE;
    } catch (...) {
      DropLoaded();
      throw;
    }
    DropLoaded();
    return FALSE;
  }
  GCATCH(kLoadTrace, u"::Load()", ->AppendArg(GArgPtr(control)))
}

BOOL CMyListLayer::XFileLoad::ReadSection(OFileIn* file, uint64_t* pBytes, JobControl* control) {
  if (!file) return FALSE;
  const int64_t start = file->Tell();
  if (start < 0) return FALSE;
  BYTE head[LayerSectionHeader::kBytes];
  const bool headRead = file->Read(head, sizeof head, 1) == 1;
  const LayerSectionHeader fh = LayerSectionHeader::Parse(head);
  if (!headRead || fh.dwCheck != fh.Sum()) {
    file_refusal::Note(file_refusal::Damaged(u"图层区"));
    return FALSE;
  }
  if (fh.dwLayerCount > uint32_t(LYR_MAX_SUM)) {
    file_refusal::Note(file_refusal::TooManyLayers(fh.dwLayerCount, LYR_MAX_SUM));
    return FALSE;
  }

  // Every record's head is read ahead: a damaged one, and a document that needs more memory
  // than the program allows itself or the machine has, are refused before the first layer
  // is allocated. dwSize is not relied on; each record says where the next one starts.
  int64_t recordAt[LYR_MAX_SUM];
  uint64_t layerBytes[LYR_MAX_SUM] = {};
  uint64_t paintBytes = 0;
  int64_t at = start + int64_t(LayerSectionHeader::kBytes);
  for (uint32_t i = 0; i < fh.dwLayerCount; ++i) {
    BYTE raw[LayerRecordHeader::kBytes];
    if (!file->Seek(at, 0) || file->Read(raw, sizeof raw, 1) != 1 || LayerRecordHeader::Parse(raw).Check()) {
      file_refusal::Note(file_refusal::Damaged(u"图层区", int(i) + 1));
      return FALSE;
    }
    const LayerRecordHeader record = LayerRecordHeader::Parse(raw);
    layerBytes[i] = m_pList->m_pDevice->GetLayerMemorySize(int(record.dwWidth), int(record.dwHeight), int(record.dwFormat));
    if (i == fh.dwCurSel) paintBytes = PaintCopyBytes(record.dwWidth, record.dwHeight, record.dwFormat);
    recordAt[i] = at;
    at += int64_t(record.dwFileSize);
  }
  if (!MemoryAllowsLoad(layerBytes, fh.dwLayerCount, paintBytes)) return FALSE;

  // The layers are made here, empty; the records are read into them on every core.
  GSystem* system = m_pList->m_pSystem;
  std::vector<GCompRef<OLayer>> made(fh.dwLayerCount);
  OLayer* layers[LYR_MAX_SUM];
  for (uint32_t i = 0; i < fh.dwLayerCount; ++i) {
    GCompRef<OComponent> obj = system ? system->NewObj(u"Morvane", nullptr) : nullptr;
    made[i] = obj ? static_cast<OLayer*>(obj->GetInterface(u"OLayer__")) : nullptr;
    GVERIFY(made[i].IsValid(), u"!cpLayer.IsValid()");
    layers[i] = made[i];
  }
  const int failed = layer_records::Load(layers, recordAt, fh.dwLayerCount, file, control, m_pList->m_pDevice);
  if (failed >= 0) {
    file_refusal::Note(file_refusal::Damaged(u"图层区", failed + 1));
    return FALSE;
  }
  for (GCompRef<OLayer>& layer : made) {
    layer->AddRef();
    m_apLayers[m_nLayerCount++] = layer;
  }
  // The next section follows the last record.
  if (!file->Seek(at, 0)) return FALSE;
  m_dwSelected = fh.dwCurSel < m_nLayerCount ? fh.dwCurSel : kNoSelection;
  if (pBytes) *pBytes += uint64_t(at - start);
  return TRUE;
}

BOOL CMyListLayer::XFileLoad::MemoryAllowsLoad(const uint64_t* layerBytes, uint32_t count, uint64_t paintBytes) {
  // The limits creating a layer keeps to hold for each loaded one and for all of them; what
  // the machine has now must take the layers and the paint tool's first copy besides.
  const plat::MemoryStatus memory = MachineMemory();
  const uint64_t layerLimit = LayerLimit(memory.totalPhysical), allLimit = AllLayersLimit(memory.totalPhysical);
  uint64_t all = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (layerBytes[i] >= layerLimit) {
      file_refusal::Note(file_refusal::LayerOverLimit(int(i) + 1, layerBytes[i], layerLimit));
      return FALSE;
    }
    all += layerBytes[i];
  }
  if (all >= allLimit) {
    file_refusal::Note(file_refusal::LayersOverLimit(all, allLimit));
    return FALSE;
  }
  if (all + paintBytes > memory.availablePhysical) {
    file_refusal::Note(file_refusal::NotEnoughMemory(all + paintBytes, memory.availablePhysical));
    return FALSE;
  }
  return TRUE;
}

BOOL CMyListLayer::XFileLoad::End(BOOL bFailed) {
  try {
    try {
      if (bFailed || m_pList->GetCount() != 0) {
        DropLoaded();
        m_pList->SetCurSelect(-1);
      } else {
        // One redraw for all rows, at the end; the earlier redraw state comes back.
        struct RedrawOff {
          CMyListLayer* list;
          BOOL was;
          ~RedrawOff() { list->SetRedraw(was); }
        } redraw{m_pList, m_pList->IsRedraw()};
        m_pList->SetRedraw(FALSE);
        for (UINT i = 0; i < m_nLayerCount; ++i) {
          GCompRef<OLayer> layer;
          layer.m_ptr = std::exchange(m_apLayers[i], nullptr);  // adopts the unit's reference
          m_pList->AddLayer(-1, layer);
        }
        m_nLayerCount = 0;
        m_pList->RenumberDuplicateIDs();
        m_pList->KeepOneSourceMark();
        m_pList->SetCurSelect(m_dwSelected == kNoSelection ? -1 : int(m_dwSelected));
      }
    } catch (...) {
      DropLoaded();
      throw;
    }
    m_dwSelected = 0;
    return TRUE;
  }
  GCATCH(kLoadTrace, u"::End()", ->AppendArg(GArgInt(bFailed)))
}
