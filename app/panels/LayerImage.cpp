// Image files in and out of the layer list: a file read as a new top row, the current layer
// written as a file. The codecs are components found by the file's extension.
#include <string>

#include "MyListLayer.h"
#include "core/DataBlocks.h"
#include "core/ImageFile.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/GText.h"
#include "platform/base/Text.h"

namespace {

constexpr const char16_t* kWorkerBusy = u"!m_pPaintSpace->m_cpWorker->IsReady()";

// What a file name proposed for a layer cannot carry becomes '_'.
std::u16string ProposedFileName(const char16_t* layerName, int row) {
  std::u16string name(plat::CutText(layerName ? layerName : u"", IMAGE_NAME_MAX));
  const std::string number = std::to_string(row + 1);
  name.append(number.begin(), number.end());
  for (char16_t& c : name)
    if (std::u16string_view(u"<>/\\|:*?\"").find(c) != std::u16string_view::npos) c = u'_';
  return name;
}

bool SizeAndFormatFit(const ImageInfo& info) {
  return info.width >= 1 && info.width <= IMAGE_SIDE_MAX && info.height >= 1 && info.height <= IMAGE_SIDE_MAX &&
         (info.format == OLayer::myFORMAT_A16 || info.format == OLayer::myFORMAT_C32);
}

}  // namespace

BOOL CMyListLayer::LoadImage(const char16_t* path) {
  try {
    GVERIFY(m_pSpace && path, u"!m_pPaintSpace");
    m_pSpace->FinishWork();
    GVERIFY(m_pSpace->GetWorker() && m_pSpace->GetWorker()->IsReady(), kWorkerBusy);
    if (GetCount() >= LYR_MAX_SUM) return FALSE;
    GCompRef<OImageCodec> codec = NewImageCodec(m_pSystem, ImageCodecFor(ImageExtension(path)));
    if (!codec) return FALSE;
    ImageInfo info{};
    // The codec's answer is checked again: a layer is made only of a size and format it can
    // take.
    if (!codec->ReadInfo(path, &info) || !SizeAndFormatFit(info)) {
      ShowCodecFailure(m_pAsk, codec);
      return FALSE;
    }
    const int width = int(info.width), height = int(info.height), format = int(info.format);
    if (!CheckMemory(width, height, format, -1)) return FALSE;
    // The worker decodes into a layer no row holds yet; the list and the undo store change
    // only here, after the job, so a cancel or a failure leaves them as they were.
    GCompRef<OLayer> layer = NewLayer(width, height, format, GetNewLayerID());
    if (!ReadImageFile(m_pSpace, m_pAsk, codec, path, layer))
      return FALSE;  // the half-made layer goes with its last reference
    layer->SetName(std::u16string(plat::CutText(ImageTitle(path), IMAGE_NAME_MAX)).c_str());
    m_pSpace->CenterOnView(layer, nullptr);
    layer->MipRefresh(nullptr);
    WriteStep(LYR_UNDO_PASTE, u"载入", {NewBlock(4, {layer->GetID()})});
    SetRedraw(FALSE);
    AddLayer(0, layer);
    SetCurSelect(0);
    InvalidateSpace();
    SetRedraw(TRUE);
    return TRUE;
  }
  GCATCH(GetClassName(), u"::LoadImage()", ->AppendArg(GArgStr(path)))
}

void CMyListLayer::OnTbvcLyrOpen() {
  try {
    if (!m_pSpace || !m_pAsk) return;
    m_pSpace->FinishWork();
    if (!CheckMemory(0, 0, 0, -1)) return;
    std::u16string path;
    if (m_pAsk->AskImagePath(FALSE, &path)) LoadImage(path.c_str());
  }
  GCATCH(GetClassName(), u"::OnTbvcLyrOpen()")
}

void CMyListLayer::OnTbvcLyrSave() {
  try {
    if (!m_pSpace || !m_pAsk) return;
    m_pSpace->FinishWork();
    GVERIFY(m_pSpace->GetWorker() && m_pSpace->GetWorker()->IsReady(), kWorkerBusy);
    OLayer* layer = GetCurLayer();
    if (!layer) return;
    std::u16string path = ProposedFileName(layer->GetName(), m_nCurSel);
    if (!m_pAsk->AskImagePath(TRUE, &path)) return;
    int quality = 100;
    GCompRef<OImageCodec> codec = ChooseImageWriter(m_pSystem, m_pAsk, path, &quality);
    if (!codec) return;
    LayerLock lock;
    lock.Lock(layer, LYR_LOCK_READ);
    WriteImageFile(m_pSpace, m_pAsk, codec, path, &lock, quality);
  }
  GCATCH(GetClassName(), u"::OnTbvcLyrSave()")
}
