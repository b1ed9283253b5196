#include "Talvene.h"

#include <algorithm>

#include "odata/GCompRef.h"
#include "odata/GText.h"
#include "odata/OProperty.h"
#include "platform/base/Text.h"

namespace {

// The progress dialog's caption while the render runs.
constexpr char16_t kCaption[] = u"正在投放图像";
constexpr uint32_t kCaptionCapacity = 128;
constexpr size_t kLocalArgBytes = 4096;

void WriteJobArgs(OData* block, const LayerLock& dest, const DistortArgs& args) {
  const LayerInfo& head = dest;
  BYTE* pixels = dest.pPixels;
  block->Write(&head, sizeof head);
  block->Write(&pixels, sizeof pixels);
  block->Write(&args, sizeof args);
}

}  // namespace

Talvene::Talvene() = default;
Talvene::~Talvene() = default;

void* Talvene::FindInterface(const char16_t* name) {
  return plat::StrCmp(name, u"ODistort") == 0 ? static_cast<ODistort*>(this) : nullptr;
}

void Talvene::UseReferenceKernels(bool reference) {
  m_distort.SetKernels(reference ? distort::kReferenceKernels : distort::kFastKernels);
  m_previewKernels = reference ? preview::kReferenceKernels : preview::kFastKernels;
}

int Talvene::Impress(const LayerLock* imgDest, DistortArgs* args, JobRecord* job) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GCHECK(imgDest && args);
    if (job) {
      GCHECK(job->pArgs);
      job->object = this;
      job->proc = JobThunk<Talvene, &Talvene::____Impress>;
      job->kind = 6;
      job->name = u"unknown";
      job->result = 0;
      job->pArgs->Rewind();
      WriteJobArgs(job->pArgs, *imgDest, *args);
      return 1;
    }
    GCompRef<OData> block = GNewData(kLocalArgBytes);
    JobRecord local{block.get(), u"unknown", 6, -1, this, JobThunk<Talvene, &Talvene::____Impress>};
    WriteJobArgs(block.get(), *imgDest, *args);
    return ____Impress(&local, nullptr);
  }
  GCATCH(GetClassName(), u"::Impress()",
         ->AppendArg(GArgInt(m_myState))->AppendArg(GArgPtr(imgDest))->AppendMemory(GMemory{DISTORT_ARGS_FIXED, args}))
}

int32_t Talvene::____Impress(JobRecord* job, JobControl* control) {
  try {
    GCHECK(job && job->pArgs);
    OData* block = job->pArgs;
    block->Rewind();
    if (control && !control->pObj) {
      GText* caption = new GText(kCaptionCapacity);
      caption->Assign(kCaption);
      caption->AddRef();
      control->pObj = caption;
    }
    LayerInfo dest;
    BYTE* destPixels = nullptr;
    DistortArgs args;
    block->Read(&dest, sizeof dest);
    block->Read(&destPixels, sizeof destPixels);
    block->Read(&args, sizeof args);
    return m_distort.Distort(dest, destPixels, args, control);
  }
  GCATCH(GetClassName(), u"::____Impress()", ->AppendArg(GArgInt(m_myState))->AppendArg(GArgPtr(job)))
}

void Talvene::GetBound(RECT* out, DistortArgs* args) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GCHECK(out && args);
    m_distort.GetBound(out, *args);
  }
  GCATCH(GetClassName(), u"::GetBound()", ->AppendArg(GArgInt(m_myState)))
}

void Talvene::ShowRefreshLayerColorMode(DistortArgs* args, OLayer* poLayer) {
  try {
    GVERIFY(m_myState == myREADY, u"!m_myState==myREADY");
    GCHECK(poLayer);
    GCHECK(args);
    auto* ppy = static_cast<OProperty*>(poLayer->GetInterface(u"OProperty"));
    GCHECK(ppy);
    UINT index = 0;
    PropertyItem* ppt = ppy->FindByName(&index, u"MODE");
    GCHECK(ppt);
    const uint32_t colour = poLayer->GetColor(nullptr, nullptr);
    args->dwColor = colour;
    m_previewColour = colour;
    args->nMode = ppt->value & 7;
    m_previewMode = args->nMode + (args->nPixelSize == 4 ? 8 : 0);
  }
  GCATCH(GetClassName(), u"::ShowRefreshLayerColorMode()", ->AppendArg(GArgInt(m_myState)))
}

void Talvene::Offset(DistortArgs* args, float dx, float dy) {
  if (!args) return;
  const int rows = std::clamp(args->Density.y, 0, 4), cols = std::clamp(args->Density.x, 0, 4);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      args->Point(r, c).x += dx;
      args->Point(r, c).y += dy;
    }
}
