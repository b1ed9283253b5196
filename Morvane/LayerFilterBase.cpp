#include "LayerFilterBase.h"

#include "odata/GCompRef.h"
#include "odata/OData.h"
#include "platform/base/Text.h"

PropertyItem* FilterProperty::FindByName(UINT* index, const char16_t* key) {
  return FindPropertyItem(m_items, kCount, index, key);
}

PropertyItem* FilterProperty::SetValue(UINT index, int32_t value) {
  PropertyItem* item = GetItem(index);
  if (item) item->value = ClampPropertyValue(*item, value);
  return item;
}

const LayerFilterBase::PassTexts LayerFilterBase::kImageTexts = {u"!imageDest.nPixelSize==imageSrc.nPixelSize",
                                                                 u"!imageDest.nWidth==imageSrc.nWidth",
                                                                 u"!imageDest.nHeight==imageSrc.nHeight"};
const LayerFilterBase::PassTexts LayerFilterBase::kImgTexts = {
    u"!imgDest.nPixelSize==imgSrc.nPixelSize", u"!imgDest.nWidth==imgSrc.nWidth", u"!imgDest.nHeight==imgSrc.nHeight"};

void LayerFilterBase::CheckPass(const FilterImage& dest, const FilterImage& source, int32_t pixelSize,
                                const char16_t* pixelSizeText, const PassTexts& texts) {
  GVERIFY(dest.nPixelSize == source.nPixelSize, texts.sizesEqual);
  GVERIFY(dest.nPixelSize == pixelSize, pixelSizeText);
  GVERIFY(dest.nWidth == source.nWidth, texts.widthsEqual);
  GVERIFY(dest.nHeight == source.nHeight, texts.heightsEqual);
}

void* LayerFilterBase::FindInterface(const char16_t* name) {
  if (plat::StrCmp(name, u"OLayerFilter") == 0) return static_cast<OLayerFilter*>(this);
  if (plat::StrCmp(name, u"OProperty") == 0) return static_cast<OProperty*>(&m_property);
  return nullptr;
}

namespace {
// The argument block: the layer pointer at its native width (the process is 64-bit), then
// the 32-bit argument.
void WriteArguments(OData* block, OLayer* layer, uint32_t argument) {
  block->Rewind();
  block->Write(&layer, sizeof layer);
  block->Write(&argument, sizeof argument);
}
}  // namespace

int LayerFilterBase::Filter(OLayer* layer, uint32_t argument, JobRecord* job) {
  try {
    if (job) {
      GVERIFY(job->pArgs, u"!pAgm->pArgs");
      job->object = this;
      job->proc = JobThunk<LayerFilterBase, &LayerFilterBase::FilterWorker>;
      job->kind = 6;
      job->name = u"unknown";
      job->result = 0;
      WriteArguments(job->pArgs, layer, argument);
      return 1;
    }
    GCompRef<OData> args = GNewData(4096);
    WriteArguments(args, layer, argument);
    JobRecord local{args, u"unknown", 6, 0, this, JobThunk<LayerFilterBase, &LayerFilterBase::FilterWorker>};
    return FilterWorker(&local, nullptr);
  }
  GCATCH(Name(), u"::Filter()", ->AppendArg(GArgUint(argument)))
}

int32_t LayerFilterBase::FilterWorker(JobRecord* job, JobControl* control) {
  try {
    GVERIFY(job && job->pArgs, u"!pAgm->pArgs");
    OLayer* layer = nullptr;
    uint32_t argument = 0;
    job->pArgs->Rewind();
    job->pArgs->Read(&layer, sizeof layer);
    job->pArgs->Read(&argument, sizeof argument);
    GVERIFY(layer, u"!poLayer");
    JobControl own;
    if (!control) control = &own;
    CheckLayer(layer);

    LayerLock lk;
    lk.Lock(layer, 0);
    GVERIFY(lk.pBackup, u"!lk.pBackup");
    const FilterImage source{lk.pBackup, lk.nWidth, lk.nHeight, lk.cbRow, lk.nPixelSize};
    const FilterImage dest{lk.pPixels, lk.nWidth, lk.nHeight, lk.cbRow, lk.nPixelSize};
    control->progress = 0;
    control->total = lk.nHeight;
    const int32_t done = Run(dest, source, control);
    if (done) control->progress = lk.nHeight;
    return done;
  }
  GCATCH(Name(), u"::____Filter()")
}
