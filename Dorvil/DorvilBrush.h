// One brush family as an "OBrush" component: its items ("OBrushProperty" / "OProperty"), the
// preset it is made from, and the preparing of its libmypaint brush into the shared context.
#pragma once
#include <array>
#include <atomic>
#include <string>

#include "BrushContext.h"
#include "BrushFamily.h"
#include "OBrush.h"

class DorvilBrush : public GComponent<OBrush> {
 public:
  explicit DorvilBrush(const dorvil::BrushFamily& family);
  ~DorvilBrush() override;

  // Reads the family's preset; without it the built-in settings stay and the error log says so.
  void InitInstance() override;

  void Activate(BrushContext* context, JobRecord* job) override;
  void Deactivate() override;
  BOOL IsReady() override;
  BOOL NeedsGlass() override { return m_family.glass; }
  float MapValue(int32_t value) override { return dorvil::RadiusFromValue(value); }
  BOOL AcceptsFormat(int32_t format) override;
  const char16_t* GetName() override { return m_family.name; }
  const char16_t* GetDescription() override { return m_family.description; }
  int32_t GetCursorKind() override { return m_family.cursorKind; }

  // The activation job's body; the worker calls it through the job record.
  int32_t ____Activate(JobRecord* job, JobControl* control);

  // For tests: whether the preset was read, and the file tried.
  bool HasPreset() const { return !m_presetText.empty(); }
  const std::string& PresetPath() const { return m_presetPath; }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  // The items; counting and GetInterface go to the brush.
  class Property final : public OBrushProperty {
   public:
    explicit Property(DorvilBrush* owner) : m_owner(owner) {}
    int32_t AddRef() override { return m_owner->AddRef(); }
    int32_t Release() override { return m_owner->Release(); }
    void* GetInterface(const char16_t* name) override { return m_owner->GetInterface(name); }
    UINT GetCount() override { return dorvil::ITEM_COUNT; }
    PropertyItem* FindByName(UINT* index, const char16_t* key) override;
    PropertyItem* GetItem(UINT index) override;
    PropertyItem* SetValue(UINT index, int32_t value) override;
    void ApplyValues(OData* valueSet) override;
    OData* NewValueSet() override;

    dorvil::BrushValues Values() const;
    std::array<PropertyItem, dorvil::ITEM_COUNT> m_items{};

   private:
    DorvilBrush* m_owner;
  };

  enum State : int32_t { IDLE = 0, PENDING = 1, READY = 2 };

  // Makes the libmypaint brush of the given values and puts it into the context.
  void Prepare(const dorvil::BrushValues& values);
  void ReportMissingPreset(const char16_t* what);

  const dorvil::BrushFamily& m_family;
  Property m_property{this};
  std::string m_presetText;  // the preset as read; empty: built-in settings
  std::string m_presetPath;
  BrushContext* m_context = nullptr;
  dorvil::BrushValues m_pending{};  // the values the pending activation prepares
  std::atomic<int32_t> m_state{IDLE};
};

// The component class of one family, for the plug-in's table.
template <size_t F>
class DorvilBrushOf final : public DorvilBrush {
 public:
  DorvilBrushOf() : DorvilBrush(dorvil::kBrushFamilies[F]) {}
};
