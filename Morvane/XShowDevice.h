// The display device "XShowDevice": collects the layers of a drawing pass with their tidy
// words, settles nesting, masks and visibility, and hands the entries to the view renderer
// (or composes them itself for picking and sampling). It also creates every layer.
#pragma once
#include <cstdint>
#include <memory>

#include "Compositor.h"
#include "TidyPass.h"
#include "odata/GError.h"
#include "odata/OShowDevice.h"

class TilePool;
class ViewRenderer;

class XShowDevice final : public GComponent<OShowDevice> {
 public:
  enum State : int32_t { myNULL = 0, myREADY = 1, myDRAWING = 2 };
  // Entries one pass takes (a glass pair reaching past it is still added whole).
  static constexpr int kMaxEntries = LYR_MAX_SUM;
  static constexpr int kTableSize = 2 * LYR_MAX_SUM;

  XShowDevice();
  ~XShowDevice() override;

  static const char16_t* GetClassName() { return u"XShowDevice"; }

  int DrawSingleLayer(const ViewTransform* view, OLayer* layer, const RECT* rc, const POINT* scroll) override;
  BOOL DrawBegin(const ViewTransform* view, BOOL forShow) override;
  void DrawLayer(OLayer* layer, uint32_t tidy, OLayer* glass) override;
  int DrawEnd(const RECT* rc, const POINT* scroll) override;
  // Picking (after DrawBegin with forShow FALSE): the number of the DrawLayer call (every
  // call of the pass counts, ignored ones too) of the topmost layer that shows at the space
  // point; -1 when none does or the point lies outside the view's space.
  int DrawEnd(const POINT* spacePoint) override;
  // Sampling (after DrawBegin with forShow FALSE and a view): the pass composed at 1:1 over the
  // view's space on its background colour (alpha 255) into a new colour layer (count 0) of the
  // space's size, locked into out. The caller unlocks and releases it.
  OLayer* DrawEndForSample(LayerLock* out) override;
  int Preset(HDC target, const RECT* rc) override;
  void GetBackBuffer(LayerLock* out) override;
  void ScrollView(ViewTransform* view, int dx, int dy) override;
  float* ClientToSpace(float out[2], const float in[2], const ViewTransform* view) override;
  float* SpaceToClient(float out[2], const float in[2], const ViewTransform* view) override;
  OLayer* CreateLayer(int width, int height, int format, UINT id) override;
  uint64_t GetLayerMemorySize(int width, int height, int pixelSize) override;

  int GetState() const { return m_myState; }
  // Whether the renderer leaves out the layers' empty blocks (it does unless told otherwise).
  void SetBlockSkipping(bool on);

  // One record of a pass as it goes to the compositor: a layer's show record with the compose
  // code in nKernel, and the show record of its mask where the code reads one.
  struct PassRecord {
    ShowParam show;
    ShowParam mask;
    bool masked;
  };
  // The records the last screen or sampling pass composed, lowest first.
  int GetPassRecords(const PassRecord** out) const {
    *out = m_aRecords;
    return m_nRecords;
  }

 protected:
  void* FindInterface(const char16_t* name) override;

 private:
  struct PassGuard;

  ViewRenderer* Renderer();
  // Ends the pass's bookkeeping: the entry count to 0, the state back to ready. Returns the count.
  int TakeEntries();
  // The tidy pass over the first n entries (m_aTidyFlags and m_aLinks).
  void Tidy(int n);
  // Turns the tidied entries into compositor records at the mip level, lowest first, into
  // m_aRecords; returns their number.
  int BuildRecords(int n, int mip);
  // Picking: the compositor weight of entry i at the space point (0 where it adds nothing).
  int WeightAt(int i, const POINT& pt);

  int32_t m_myState = myREADY;
  // The threads the renderer shares its tiles out to, made with it and gone after it.
  std::unique_ptr<TilePool> m_pPool;
  std::unique_ptr<ViewRenderer> m_pRenderer;
  int m_nMipLevel = 0;
  BOOL m_bDrawForShow = FALSE;
  bool m_bHasView = false;
  ViewTransform m_view{};  // the pass's view when it does not draw for the screen

  int m_nLyrCnt = 0;
  int m_nCalls = 0;  // DrawLayer calls of the pass
  OLayer* m_apLayers[kTableSize] = {};
  uint32_t m_aTidyFlags[kTableSize] = {};
  int m_aCall[kTableSize] = {};        // the DrawLayer call that added the entry
  bool m_aGlassEntry[kTableSize] = {};  // the glass drawn over the next entry
  TidyLink m_aLinks[kTableSize];
  PassRecord m_aRecords[2 * kTableSize];
  int m_nRecords = 0;
};

// A pass record as the compositor reads it (what the renderer's AddLayer makes of it).
ComposeEntry ToComposeEntry(const XShowDevice::PassRecord& r);
