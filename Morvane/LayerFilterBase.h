// The common body of the layer filters: the component, its two-item property set, the
// job form of Filter, and the worker frame (the layer locked with its backup, progress per
// row, the abort bit).
#pragma once
#include <cstddef>
#include <cstdint>

#include "odata/GError.h"
#include "odata/OLayer.h"
#include "odata/OLayerFilter.h"
#include "odata/OProperty.h"

// A filter's property set: two integer items; counting and GetInterface go to the filter.
class FilterProperty final : public OProperty {
 public:
  FilterProperty(OComponent* owner, const PropertyItem& first, const PropertyItem& second)
      : m_owner(owner), m_items{first, second} {}

  int32_t AddRef() override { return m_owner->AddRef(); }
  int32_t Release() override { return m_owner->Release(); }
  void* GetInterface(const char16_t* name) override { return m_owner->GetInterface(name); }

  UINT GetCount() override { return kCount; }
  PropertyItem* FindByName(UINT* index, const char16_t* key) override;
  PropertyItem* GetItem(UINT index) override { return index < kCount ? &m_items[index] : nullptr; }
  PropertyItem* SetValue(UINT index, int32_t value) override;

  int32_t Value(UINT index) const { return m_items[index].value; }

 private:
  static constexpr UINT kCount = 2;
  OComponent* m_owner;
  PropertyItem m_items[kCount];
};

// One surface of a locked layer as a filter pass sees it.
struct FilterImage {
  BYTE* pPixels;
  int32_t nWidth;
  int32_t nHeight;
  size_t cbRow;
  int32_t nPixelSize;

  template <class T>
  T* Row(int y) const {
    return reinterpret_cast<T*>(pPixels + size_t(y) * cbRow);
  }
};

class LayerFilterBase : public GComponent<OLayerFilter> {
 public:
  int Filter(OLayer* layer, uint32_t argument, JobRecord* job) override;
  // The worker routine: 1 when done, 0 when stopped by the abort bit. The argument block
  // holds the layer pointer (native width) and the 32-bit argument, which the filters
  // carry without using.
  int32_t FilterWorker(JobRecord* job, JobControl* control);

  FilterProperty& Properties() { return m_property; }

 protected:
  LayerFilterBase(const PropertyItem& first, const PropertyItem& second) : m_property(this, first, second) {}

  void* FindInterface(const char16_t* name) override;

  // The class name in error trails.
  virtual const char16_t* Name() const = 0;
  // Checks on the layer before it is locked.
  virtual void CheckLayer(OLayer*) {}
  // The filter proper: source is the backup, dest the layer's pixels; control is never null.
  // Returns 1 when done, 0 when aborted.
  virtual int32_t Run(const FilterImage& dest, const FilterImage& source, JobControl* control) = 0;

  // The checks every pass makes, in order: equal pixel sizes, the pixel size the pass
  // handles, equal widths, equal heights. texts = {sizes equal, widths equal, heights equal}.
  struct PassTexts {
    const char16_t* sizesEqual;
    const char16_t* widthsEqual;
    const char16_t* heightsEqual;
  };
  static const PassTexts kImageTexts;  // the blur's wording
  static const PassTexts kImgTexts;    // the colour filters' wording
  static void CheckPass(const FilterImage& dest, const FilterImage& source, int32_t pixelSize,
                        const char16_t* pixelSizeText, const PassTexts& texts);
  // Before row y: publishes the position and tells whether to go on.
  static bool BeginRow(JobControl* control, int y) {
    control->progress = y;
    return (control->flags & JOB_ABORT) == 0;
  }

 private:
  FilterProperty m_property;
};
