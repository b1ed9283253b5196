// The distortion component "Talvene": the Bezier mesh warp of a source layer, rendered into a
// destination layer as a worker job (CDistort) and previewed over the view's back buffer.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "Distort.h"
#include "DistortShow.h"
#include "odata/GError.h"
#include "odata/ODistort.h"

class Talvene final : public GComponent<ODistort> {
 public:
  enum State : int32_t { myNULL = 0, myREADY = 1 };
  // The job's argument block: the destination's description and first row, then the record.
  static constexpr size_t kJobArgBytes = sizeof(LayerInfo) + sizeof(BYTE*) + sizeof(DistortArgs);

  // Out of line, so that making the object does not first zero its working memory.
  Talvene();
  ~Talvene() override;

  static const char16_t* GetClassName() { return u"Talvene"; }

  int Impress(const LayerLock* imgDest, DistortArgs* args, JobRecord* job) override;
  void GetBound(RECT* out, DistortArgs* args) override;
  void ShowRefresh(OShowDevice* device, DistortArgs* args) override;
  void ShowRefreshLayerColorMode(DistortArgs* args, OLayer* source) override;
  int Show(OShowDevice* device, HDC hdc, const RECT* rc, BOOL recompose) override;
  void Offset(DistortArgs* args, float dx, float dy) override;

  // The render job's body; the worker calls it through the job record.
  int32_t ____Impress(JobRecord* job, JobControl* control);

  // For tests and measurements: the renderer, the kernels, and what the preview holds.
  CDistort& Renderer() { return m_distort; }
  void UseReferenceKernels(bool reference);
  const GridImage& GetPreviewImage() const { return m_grid.imgDest; }
  int GetPreviewMode() const { return m_previewMode; }
  uint32_t GetPreviewColour() const { return m_previewColour; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  int32_t m_myState = myREADY;

  // The preview: the back buffer the buffers were made for, with the output buffer (rows
  // bottom-up) as its pixels; the quad being drawn, with the preview source buffer (rows
  // top-down) as its destination. Both buffers are width x height pixels, pitch width.
  LayerInfo m_view{};
  std::unique_ptr<uint32_t[]> m_pOut;
  std::unique_ptr<uint32_t[]> m_pPreview;
  Grid m_grid{};
  uint32_t m_previewColour = 0;
  int m_previewMode = 0;
  bool m_bComposed = false;
  RECT m_rcComposed{};  // the part of the output that holds the current composition
  std::vector<PreviewRowSpan> m_spans;
  preview::Kernels m_previewKernels = preview::kFastKernels;
  DistortMesh m_previewMesh;

  CDistort m_distort;
};
