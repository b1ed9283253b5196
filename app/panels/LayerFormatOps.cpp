// The per-format operations of the current layer: the command rows the property page shows
// below a layer's properties (one menu for mask layers, one for colour layers), what each row
// does with its undo step, and the toggle that makes the current mask layer the source.
#include <utility>

#include "HeldLayerBlock.h"
#include "LayerRecords.h"
#include "LayerReshape.h"
#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"

namespace {

constexpr int kRowSlots = 8;

struct MenuRow {
  const char16_t* label;
  const char16_t* help;
};

constexpr const char16_t* kClearHelp = u"清空/淡化：能见度为100时清空图像，能见度小于100时淡化图像";
constexpr const char16_t* kScaleHelp = u"缩放：修改图层尺寸并拉伸其内容";

constexpr MenuRow kRowsA16[kRowSlots] = {
    {u"转换到彩色图层", u"转换到彩色图层"}, {u"清空/淡化", kClearHelp}, {u"反像", u"反像：反转像素透明度"},
    {u"水平翻转", u"水平翻转"},             {u"垂直翻转", u"垂直翻转"}, {u"旋转", u"旋转"},
    {u"缩放", kScaleHelp},                  {u"", u""},
};
constexpr MenuRow kRowsC32[kRowSlots] = {
    {u"转换到单色图层", u"转换到单色图层"}, {u"清空/淡化", kClearHelp}, {u"反色", u"反色"},
    {u"水平翻转", u"水平翻转"},             {u"垂直翻转", u"垂直翻转"}, {u"旋转", u"旋转"},
    {u"缩放", kScaleHelp},                  {u"蒙板", u"蒙板：提取像素透明度生成新蒙板"},
};

// A rotated layer must fit the layer limits; the user hears why nothing happened.
constexpr const char16_t* kRotateTooLarge = u"旋转后的图层超出 10000 x 10000";

}  // namespace

class CMyListLayer::XAppendixMenu final : public OAppendixMenu {
 public:
  XAppendixMenu(CMyListLayer* list, int format) : m_pList(list), m_nFormat(format) {}
  const char16_t* GetLabel(int index) override { return Row(index).label; }
  const char16_t* GetHelp(int index) override { return Row(index).help; }
  void OnHit(int index) override;
  int GetCount() override { return IsMask() ? 7 : 8; }

 private:
  bool IsMask() const { return m_nFormat == OLayer::myFORMAT_A16; }
  const MenuRow& Row(int index) const {
    const MenuRow* rows = IsMask() ? kRowsA16 : kRowsC32;
    return rows[((index % kRowSlots) + kRowSlots) % kRowSlots];
  }
  void Run(int index, int nSel, OLayer* layer);
  void ConvertToColour(int nSel, OLayer* layer);
  void ConvertToMask(int nSel, OLayer* layer);
  void ClearOrFade(int nSel, OLayer* layer);
  void Rotate(int nSel, OLayer* layer);
  void RotateByAngle(int nSel, OLayer* layer, int degrees);
  void RotateQuarter(int nSel, OLayer* layer, bool clockwise);
  void Scale(int nSel, OLayer* layer);
  void MaskFromTransparency(int nSel, OLayer* layer);
  // Writes the step {nSel, ID, more...} and the blocks after it.
  void Step(uint32_t type, const char16_t* label, int nSel, OLayer* layer, std::initializer_list<uint32_t> more,
            OData* extra = nullptr);
  // The new layer takes the row of the old one, its reduced levels built.
  void Replace(int nSel, OLayer* fresh);

  CMyListLayer* m_pList;
  int m_nFormat;
};

void CMyListLayer::XAppendixMenu::OnHit(int index) {
  try {
    CMyListLayer* list = m_pList;
    if (!list->CheckWritable(TRUE) || !list->m_pSpace) return;
    const int nSel = list->GetCurSel();
    GVERIFY(nSel != -1, u"!nSel!=LB_ERR");
    OLayer* layer = list->GetCurLayer();
    GVERIFY(layer->GetFormat() == m_nFormat,
            IsMask() ? u"!nFormat==OLayer::myFORMAT_A16" : u"!nFormat==OLayer::myFORMAT_C32");
    {
      // The default tool is current while the layers change under the tools; the old tool
      // comes back however the operation ends.
      COperatorSuspend suspend(list->m_pSpace);
      Run(index, nSel, layer);
    }
    list->InvalidateSpace();
    list->RowsChanged();
  }
  GCATCH(IsMask() ? u"CMyListLayer::XAppendixMenuA16" : u"CMyListLayer::XAppendixMenuC32", u"::OnHit()",
         ->AppendArg(GArgInt(index)))
}

void CMyListLayer::XAppendixMenu::Run(int index, int nSel, OLayer* layer) {
  switch (index) {
    case 0:
      if (IsMask())
        ConvertToColour(nSel, layer);
      else
        ConvertToMask(nSel, layer);
      break;
    case 1:
      ClearOrFade(nSel, layer);
      break;
    case 2:
      layer->ProcessInvert();
      layer->MipRefresh(nullptr);
      Step(LYR_UNDO_INVERT, IsMask() ? u"反像" : u"反色", nSel, layer, {});
      break;
    case 3:
      layer->FlipHorizontal();
      layer->MipRefresh(nullptr);
      Step(LYR_UNDO_FLIPH, u"水平翻转", nSel, layer, {});
      break;
    case 4:
      layer->FlipVertical();
      layer->MipRefresh(nullptr);
      Step(LYR_UNDO_FLIPV, u"垂直翻转", nSel, layer, {});
      break;
    case 5:
      Rotate(nSel, layer);
      break;
    case 6:
      Scale(nSel, layer);
      break;
    case 7:
      if (!IsMask()) MaskFromTransparency(nSel, layer);
      break;
    default:
      break;
  }
}

void CMyListLayer::XAppendixMenu::Step(uint32_t type, const char16_t* label, int nSel, OLayer* layer,
                                       std::initializer_list<uint32_t> more, OData* extra) {
  GCompRef<OData> block = NewBlock(LYR_RECORD_BLOCK, {uint32_t(nSel), layer->GetID()});
  for (uint32_t v : more) {
    BYTE b[4];
    PutLE32(b, v);
    block->Write(b, 4);
  }
  if (extra)
    m_pList->WriteStep(type, label, {block, extra});
  else
    m_pList->WriteStep(type, label, {block});
}

void CMyListLayer::XAppendixMenu::Replace(int nSel, OLayer* fresh) {
  fresh->MipRefresh(nullptr);
  m_pList->SetLayer(nSel, fresh);
}

// The new layer is made before the step is written and put in after it: a failure on the
// way leaves the old layer in its row and no step behind.
void CMyListLayer::XAppendixMenu::ConvertToColour(int nSel, OLayer* layer) {
  if (!m_pList->CheckMemory(layer->GetWidth(), layer->GetHeight(), OLayer::myFORMAT_C32, nSel)) return;
  const uint32_t colour = StoredColour(layer->GetColor(nullptr, nullptr));
  GCompRef<OLayer> fresh = layer->Convert(5);
  Step(LYR_UNDO_TOC32, u"转换", nSel, layer, {colour});
  Replace(nSel, fresh);
}

void CMyListLayer::XAppendixMenu::ConvertToMask(int nSel, OLayer* layer) {
  ILayerAsk* ask = m_pList->GetAsk();
  if (!ask) return;
  const int mode = ask->AskConvertMode();
  if (mode < 0 || mode > 4) return;
  GCompRef<OLayer> fresh = layer->Convert(mode);
  GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
  Step(LYR_UNDO_TOA16, u"转换", nSel, layer, {uint32_t(mode)}, backup);
  Replace(nSel, fresh);
}

void CMyListLayer::XAppendixMenu::ClearOrFade(int nSel, OLayer* layer) {
  // ALPHA 100 clears the image; below 100 the pixels keep that much of their opacity and
  // the layer shows at full ALPHA again.
  const int old = GetLayerAlpha(layer);
  SetLayerAlpha(layer, 100);
  GCompRef<OData> fade = layer->ProcessImpair(old < 100 ? old : 0);
  layer->MipRefresh(nullptr);
  Step(LYR_UNDO_CLEAR, u"清空/淡化", nSel, layer, {uint32_t(old)}, fade);
}

void CMyListLayer::XAppendixMenu::Rotate(int nSel, OLayer* layer) {
  ILayerAsk* ask = m_pList->GetAsk();
  if (!ask) return;
  int degrees = 0;
  switch (ask->AskRotate(&degrees)) {
    case LYR_ROTATE_ANGLE:
      RotateByAngle(nSel, layer, degrees);
      break;
    case LYR_ROTATE_90:
      RotateQuarter(nSel, layer, true);
      break;
    case LYR_ROTATE_180:
      layer->Rotate180();
      layer->MipRefresh(nullptr);
      Step(LYR_UNDO_ROTATE180, u"旋转>180", nSel, layer, {});
      break;
    case LYR_ROTATE_270:
      RotateQuarter(nSel, layer, false);
      break;
    default:
      break;
  }
}

void CMyListLayer::XAppendixMenu::RotateByAngle(int nSel, OLayer* layer, int degrees) {
  if (degrees < 1 || degrees >= 360 || !WorkerIdle(m_pList->m_pSpace)) return;
  const float angle = LayerAngle(degrees);
  RECT r;
  const BOOL fits = NewLayerUtility(m_pList->m_pSystem)->GetRotatedRect(layer, angle, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (!fits) {
    if (m_pList->m_pObserver) m_pList->m_pObserver->OnMessage(kRotateTooLarge);
    return;
  }
  if (!m_pList->CheckMemory(width, height, m_nFormat, nSel)) return;
  GCompRef<OLayer> fresh = RunReshapeJob(m_pList, layer, width, height, &angle, u"正在旋转...");
  if (!fresh) return;
  GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
  Step(LYR_UNDO_ROTATE, u"旋转", nSel, layer, {uint32_t(degrees)}, backup);
  TakeOver(fresh, layer, POINT{r.left, r.top});
  Replace(nSel, fresh);
}

void CMyListLayer::XAppendixMenu::RotateQuarter(int nSel, OLayer* layer, bool clockwise) {
  GCompRef<OLayer> fresh = TurnQuarter(m_pList, layer, clockwise);
  if (!fresh) return;
  RECT r;
  layer->GetRect(&r);
  Step(clockwise ? LYR_UNDO_ROTATE90 : LYR_UNDO_ROTATE270, clockwise ? u"旋转>90" : u"旋转>270", nSel, layer,
       {uint32_t(r.left), uint32_t(r.top), uint32_t(r.right), uint32_t(r.bottom)});
  TakeOver(fresh, layer, CentredOn(r, fresh->GetWidth(), fresh->GetHeight()));
  Replace(nSel, fresh);
}

void CMyListLayer::XAppendixMenu::Scale(int nSel, OLayer* layer) {
  ILayerAsk* ask = m_pList->GetAsk();
  if (!ask) return;
  RECT r;
  layer->GetRect(&r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  int width = w, height = h;
  if (!ask->AskScale(&width, &height) || (width == w && height == h)) return;
  if (width < 1 || width > LYR_MAX_SIDE || height < 1 || height > LYR_MAX_SIDE) return;
  if (!m_pList->CheckMemory(width, height, m_nFormat, nSel) || !WorkerIdle(m_pList->m_pSpace)) return;
  GCompRef<OLayer> fresh = RunReshapeJob(m_pList, layer, width, height, nullptr, u"正在缩放...");
  if (!fresh) return;
  GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
  Step(LYR_UNDO_SCALE, u"缩放", nSel, layer, {uint32_t(width), uint32_t(height)}, backup);
  TakeOver(fresh, layer, CentredOn(r, width, height));
  Replace(nSel, fresh);
}

void CMyListLayer::XAppendixMenu::MaskFromTransparency(int nSel, OLayer* layer) {
  if (!m_pList->CheckMemory(layer->GetWidth(), layer->GetHeight(), OLayer::myFORMAT_A16, -1)) return;
  GCompRef<OLayer> mask = layer->ProcessSplitMask();
  mask->SetID(m_pList->GetNewLayerID());
  mask->SetName(u"蒙板");
  mask->MipRefresh(nullptr);
  // The mask sits directly below the colour layer.
  if (m_pList->AddLayer(nSel + 1, mask) == -1) {
    layer->ProcessSplitMaskRestore(mask);
    return;
  }
  Step(LYR_UNDO_MASK, u"蒙板", nSel, layer, {mask->GetID()});
  layer->MipRefresh(nullptr);
}

OAppendixMenu* CMyListLayer::GetAppendixMenu(int format) {
  std::unique_ptr<OAppendixMenu>* slot = format == OLayer::myFORMAT_A16   ? &m_pMenuA16
                                         : format == OLayer::myFORMAT_C32 ? &m_pMenuC32
                                                                          : nullptr;
  if (!slot) return nullptr;
  if (!*slot) *slot = std::make_unique<XAppendixMenu>(this, format);
  return slot->get();
}
