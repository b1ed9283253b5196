#include "TavrikDoc.h"

#include <algorithm>

#include "odata/GError.h"
#include "tools/OperCrop.h"
#include "tools/OperDefault.h"
#include "tools/OperDistort.h"
#include "tools/OperFlood.h"
#include "tools/OperLasso.h"
#include "tools/OperMove.h"
#include "tools/OperNew.h"
#include "tools/OperPaint.h"
#include "tools/OperPolygon.h"
#include "tools/OperShape.h"
#include "tools/OperSucker.h"

namespace {

constexpr const char16_t* kClass = u"CTavrikDoc";

// Holds a tool for the time of a call that may or may not take it over.
struct OperatorHold {
  explicit OperatorHold(COperation* op) : m_op(op) { m_op->AddRef(); }
  ~OperatorHold() { m_op->Release(); }
  OperatorHold(const OperatorHold&) = delete;
  OperatorHold& operator=(const OperatorHold&) = delete;
  COperation* m_op;
};

UINT ClampSide(int v, UINT max) { return UINT(std::clamp<int>(v, 1, int(max))); }

// The tools a document works with, one of each, in the order of the operation tool bar. The
// paint tool only when its engine can be made: without the plug-in documents still open.
std::vector<GCompRef<COperation>> MakeTools(GSystem* system) {
  std::vector<GCompRef<COperation>> tools;
  tools.emplace_back(new COperMove());
  tools.emplace_back(new COperNew());
  tools.emplace_back(new COperCrop());
  tools.emplace_back(new COperLasso());
  OComponent* engine = nullptr;
  try {
    engine = system ? system->NewObj(u"Dorvil", nullptr) : nullptr;
  } catch (GError* e) {
    // A thrown error is owned by nobody yet: take it, then drop it.
    e->AddRef();
    e->Release();
  }
  if (auto* paint = engine ? static_cast<ODorvil*>(engine->GetInterface(u"ODorvil")) : nullptr) {
    auto* tool = new COperPaint();
    tool->m_cpPaint = paint;
    tools.emplace_back(tool);
  } else if (engine) {
    engine->AddRef();
    engine->Release();
  }
  tools.emplace_back(new COperSucker());
  tools.emplace_back(new COperPolygon());
  tools.emplace_back(new COperShape());
  tools.emplace_back(new COperFlood());
  tools.emplace_back(new COperDistort());
  return tools;
}

// The tool a new space starts with: painting once it exists, until then the first tool
// made. Any real tool navigates (a right drag pans, a middle drag turns and zooms, the wheel
// scrolls); the default tool does not, so it is only the last resort.
COperation* ChooseFirstTool(const std::vector<GCompRef<COperation>>& tools) {
  for (const GCompRef<COperation>& tool : tools)
    if (tool->GetID() == ID_OPER_PAINT) return tool;
  return tools.empty() ? nullptr : tools.front().get();
}

}  // namespace

CTavrikDoc::CTavrikDoc(GSystem* system, OShowDevice* device, IPaintSpaceHost* host, CJobRunner* runner,
                       NewSpaceSize* setting, COperation* first)
    : m_pDevice(device), m_pRunner(runner), m_pSetting(setting) {
  try {
    m_pList = std::make_unique<CMyListLayer>(system, device);
    m_pSpace = std::make_unique<CPaintSpace>(system, device);
    m_pSpace->SetNewSpaceSize(setting);
    m_pSpace->SetColorBar(&m_colorBar);
    const std::vector<GCompRef<COperation>> tools = MakeTools(system);
    COperation* start = first ? first : ChooseFirstTool(tools);
    OperatorHold hold(start ? start : new COperDefault());
    const NewSpaceSize size = setting ? *setting : NewSpaceSize{};
    m_pSpace->Initialize(ClampSide(size.nSpaceWidth, LYR_MAX_WIDTH), ClampSide(size.nSpaceHeight, LYR_MAX_HEIGHT),
                         host, m_pList.get(), hold.m_op);
    for (const GCompRef<COperation>& tool : tools)
      if (tool.get() != hold.m_op) m_pSpace->AddOperator(tool);
  }
  GCATCH(kClass, u"::CTavrikDoc()")
}

CTavrikDoc::~CTavrikDoc() {
  // The space goes first: it stops its threads and detaches from the list.
  m_pSpace.reset();
  m_pList.reset();
}

std::vector<GCompRef<OLayer>> CTavrikDoc::TakeRows(int* selected) {
  *selected = m_pList->GetCurSel();
  std::vector<GCompRef<OLayer>> rows;
  while (m_pList->GetCount() > 0) {
    GCompRef<OLayer> row;
    row.m_ptr = m_pList->DetachLayer(0);  // the row's reference comes with it
    rows.push_back(std::move(row));
  }
  m_pList->SetCurSelect(-1);
  return rows;
}

void CTavrikDoc::PutRows(std::vector<GCompRef<OLayer>>& rows, int selected) {
  for (GCompRef<OLayer>& row : rows)
    if (row) m_pList->AddLayer(-1, row);
  m_pList->SetCurSelect(selected);
}

void CTavrikDoc::ClearHistory() {
  m_pSpace->GetRedoStore()->Clear();
  m_pSpace->GetUndoStore()->Clear();
  m_pSpace->GetUndoStore()->ResetCounter();
}

void CTavrikDoc::ShowNewState() {
  m_pSpace->InvalidateComposite();
  m_pSpace->SyncScrollBars(nullptr);
  m_pSpace->InvalidateView(TRUE);
}

BOOL CTavrikDoc::NewDocument(int kind) {
  try {
    m_pSpace->FinishWork();
    m_pSpace->GetWorker()->Wait(FALSE);
    int selected;
    TakeRows(&selected);
    ClearHistory();
    const NewSpaceSize size = m_pSetting ? *m_pSetting : NewSpaceSize{};
    const UINT w = ClampSide(size.nSpaceWidth, LYR_MAX_WIDTH), h = ClampSide(size.nSpaceHeight, LYR_MAX_HEIGHT);
    m_pSpace->SetSpaceSize(w, h);
    m_pSpace->SetBackground(SPACE_WHITE);
    m_strPath.clear();
    BOOL ok = TRUE;
    if (kind == myNEW_MASK || kind == myNEW_COLOR) {
      const int format = kind == myNEW_MASK ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32;
      if (m_pList->CheckMemory(int(w), int(h), format, -1)) {
        GCompRef<OLayer> layer = m_pDevice->CreateLayer(int(w), int(h), format, m_pList->NewLayerID());
        layer->SetName(kind == myNEW_MASK ? u"单色图层" : u"彩色图层");
        m_pList->AddLayer(-1, layer);
        m_pList->SetCurSelect(0);
      } else {
        ok = FALSE;
      }
    }
    ShowNewState();
    return ok;
  }
  GCATCH(kClass, u"::NewDocument()", ->AppendArg(GArgInt(kind)))
}

BOOL CTavrikDoc::LoadFile(const std::u16string& path) {
  try {
    m_pSpace->FinishWork();
    OWorker* worker = m_pSpace->GetWorker();
    worker->Wait(FALSE);
    // The open document steps aside; it comes back whole when the file is refused.
    const UINT oldWidth = m_pSpace->GetWidth(), oldHeight = m_pSpace->GetHeight();
    const COLORREF oldBackground = m_pSpace->GetBackground();
    const ViewTransform oldView = *m_pSpace->m_pTransform;
    int selected;
    std::vector<GCompRef<OLayer>> rows = TakeRows(&selected);
    auto restore = [&] {
      int none;
      TakeRows(&none);
      PutRows(rows, selected);
      m_pSpace->SetSpaceSize(oldWidth, oldHeight);
      m_pSpace->SetBackground(oldBackground);
      m_pSpace->m_pTransform->centreX = oldView.centreX;
      m_pSpace->m_pTransform->centreY = oldView.centreY;
    };
    BOOL ok;
    try {
      CMyFileLoad load(m_pRunner);
      load.AddUnit(m_pSpace->GetFileLoad());
      load.AddUnit(m_pList->GetFileLoad());
      load.AddUnit(m_colorBar.GetFileLoad());
      m_strReason.clear();
      ok = load.Load(path, worker);
      m_strReason = load.GetLastReason();
    } catch (...) {
      restore();
      throw;
    }
    if (ok) {
      ClearHistory();
      m_strPath = path;
    } else {
      restore();
    }
    ShowNewState();
    return ok;
  }
  GCATCH(kClass, u"::LoadFile()", ->AppendArg(GArgStr(path.c_str())))
}

BOOL CTavrikDoc::SaveFile(const std::u16string& path) {
  try {
    m_pSpace->FinishWork();
    OWorker* worker = m_pSpace->GetWorker();
    worker->Wait(FALSE);
    // A mask's low bytes are not part of its coverage: they are saved as zero.
    m_pList->CleanupMaskLowBytes();
    CMyFileSave save(m_pRunner);
    save.AddUnit(m_pSpace->GetFileSave());
    save.AddUnit(m_pList->GetFileSave());
    save.AddUnit(m_colorBar.GetFileSave());
    m_strReason.clear();
    if (!save.Save(path, worker)) {
      m_strReason = save.GetLastReason();
      return FALSE;
    }
    m_pSpace->GetUndoStore()->ResetCounter();
    m_strPath = path;
    return TRUE;
  }
  GCATCH(kClass, u"::SaveFile()", ->AppendArg(GArgStr(path.c_str())))
}
