// "XLasso": maps the surgery tool's lifted piece onto a quadrilateral of a layer.
#pragma once
#include <cstdint>

#include "LassoKernels.h"
#include "odata/GError.h"
#include "odata/OComponent.h"
#include "odata/OLasso.h"
#include "odata/OLayer.h"
#include "odata/OWorker.h"

class XLasso final : public GComponent<OLasso> {
 public:
  // The span table covers this many destination rows from the first mapped one.
  static constexpr int32_t kMaxRows = 10000;
  // Quadrilateral corners and the source position, in space pixels.
  static constexpr double kMaxCoord = 4194304.0;
  // How far (in source pixels) a drawn pixel may map from the source, and how many source
  // pixels one destination pixel step may span: both keep 24.8 positions inside 32 bits.
  static constexpr double kMaxReach = 1048576.0;
  static constexpr double kMaxStep = 65536.0;

  XLasso() = default;
  ~XLasso() override = default;

  int Impress(const LayerLock* imgDest, const LayerLock* imgSrc, const float quad[8], JobRecord* job) override;

  static const char16_t* GetClassName() { return u"XLasso"; }

  // The row renderer of a prepared job.
  int32_t RenderRows(JobRecord* job, JobControl* control);

  // What the last ImpressReady left, for tests: the footprint and the row overlap.
  const lasso::Footprint& GetFootprint() const { return m_foot; }
  int32_t GetRowCount() const { return m_cy.l; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  struct Overlap {
    int32_t l = 0;      // length of the overlap of the bounding box with the destination
    int32_t l1 = 0;     // its offset in the destination
    int32_t l2 = 0;     // its offset in the bounding box
    int32_t first = 0;  // its first absolute column or row
  };
  struct Span {
    int32_t left;
    int32_t right;
  };
  // The affine map of the plane taking P0, P1, P2 to C0, C1, C2: C0 + L (X - P0).
  struct Map {
    double p0x, p0y, c0x, c0y;
    double a, b, c, d;
    void Apply(double x, double y, double& mx, double& my) const {
      const double ux = x - p0x, uy = y - p0y;
      mx = c0x + (a * ux + b * uy);
      my = c0y + (c * ux + d * uy);
    }
  };

  void ImpressReady(const LayerLock* imgDest, const LayerLock* imgSrc, const float quad[8]);
  void EnterEdge(double ax, double ay, double bx, double by);
  void MakeFootprint();
  // Draws row i of the mapped area into the destination; super selects the job's kernels.
  void DrawRow(int32_t i, const LayerInfo& dest, BYTE* destPixels, bool super);

  Span m_aSpan[kMaxRows];
  lasso::Footprint m_foot{};
  lasso::Source m_src{};
  int32_t m_srcX256 = 0;  // the source position * 256
  int32_t m_srcY256 = 0;
  Map m_map{};
  Overlap m_cx;
  Overlap m_cy;
};
