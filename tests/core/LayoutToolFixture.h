// The move, create-layer and trim tools on a headless paint space: a 300 x 200 space in the
// 400 x 300 view, the three tools listed, a shell that answers the trim dialog from a script
// and a layer list whose questions come from a script. Drags are synthesised view messages.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "ScriptedLayerAsk.h"
#include "core/DataBlocks.h"
#include "frame/ResourceIds.h"
#include "ToolFixture.h"
#include "odata/GText.h"
#include "tools/OperCrop.h"
#include "tools/OperMove.h"
#include "tools/OperNew.h"

// The frame's services with the trim dialog answered from a script: each question is recorded,
// and the next answer may retype the size (0 keeps it).
class CropShell final : public IShellServices {
 public:
  struct Answer {
    int action;
    int width, height;
  };
  void PopupRingMenu(int x, int y, CFunctionMenu* menu) override { rings.push_back({x, y, menu}); }
  BOOL PopupColorWheel(int, int, HSVCOLOR, HWND, DWORD) override { return FALSE; }
  gui::GWindow* GetOptionBar() override { return nullptr; }
  int AskCrop(CropQuestion* q) override {
    asked.push_back(*q);
    if (answers.empty()) return myCROP_CANCEL;
    const Answer a = answers.front();
    answers.pop_front();
    if (a.width) q->nWidth = a.width;
    if (a.height) q->nHeight = a.height;
    return a.action;
  }

  std::deque<Answer> answers;
  std::vector<CropQuestion> asked;
  std::vector<RecordingShell::Ring> rings;
};

class LayoutToolFixture : public ToolFixture {
 protected:
  static constexpr UINT kWidth = 300, kHeight = 200;

  void SetUp() override {
    win.shell = &shell;
    list->SetAsk(&ask);
    move = new COperMove();
    create = new COperNew();
    crop = new COperCrop();
    Init(kWidth, kHeight, move, {create, crop});
  }
  void Select(UINT id) {
    space->SelectOperator(id);
    ASSERT_EQ(space->GetCurOperator()->GetID(), id);
  }
  // The view at a zoom, centred on a space point.
  void Zoom(float scale, float cx, float cy) {
    View().scale = scale;
    View().centreX = cx;
    View().centreY = cy;
  }
  // The client pixel that holds the space point (at zoom 1 its centre shows the middle of
  // space pixel (sx, sy)).
  POINT ClientOf(float sx, float sy) {
    const float in[2] = {sx, sy};
    float out[2];
    realDevice->SpaceToClient(out, in, space->m_pTransform);
    return POINT{LONG(std::floor(out[0])), LONG(std::floor(out[1]))};
  }
  // A left drag from a to b in steps of the view, released at b (buttons held as given).
  void LeftDrag(POINT a, POINT b, int steps = 4) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, a.x, a.y);
    for (int i = 1; i <= steps; ++i)
      Send(WM_MOUSEMOVE, MK_LBUTTON, a.x + (b.x - a.x) * i / steps, a.y + (b.y - a.y) * i / steps);
    Send(WM_LBUTTONUP, 0, b.x, b.y);
  }
  // The labels of a store's steps, newest first.
  static std::vector<std::u16string> Labels(OUndoRecorder* store) {
    const char16_t* out[32] = {};
    const UINT n = store->CopyStepList(out, 32);
    std::vector<std::u16string> labels;
    for (UINT i = 0; i < n; ++i) labels.emplace_back(out[i] ? out[i] : u"");
    return labels;
  }
  static POINT Position(OLayer* layer) {
    POINT p;
    layer->GetPosition(&p, FALSE);
    return p;
  }
  static RECT Rect(OLayer* layer) {
    RECT r;
    layer->GetRect(&r);
    return r;
  }

  // A layer as a test compares it: where it is, its ID and name, and every pixel.
  struct Shot {
    RECT rect;
    UINT id;
    std::u16string name;
    uint32_t flags;
    std::vector<BYTE> pixels;
    bool operator==(const Shot& o) const {
      return std::memcmp(&rect, &o.rect, sizeof rect) == 0 && id == o.id && name == o.name && flags == o.flags &&
             pixels == o.pixels;
    }
  };
  static Shot Snap(OLayer* layer) {
    const char16_t* name = layer->GetName();
    Shot s{Rect(layer), layer->GetID(), name ? name : u"", layer->GetFlags(), {}};
    LayerLock lock;
    if (!lock.Lock(layer, 0)) {
      ADD_FAILURE() << "the layer does not lock";
      return s;
    }
    // The format is the bytes of a pixel.
    const size_t row = size_t(layer->GetWidth()) * size_t(layer->GetFormat());
    for (int y = 0; y < layer->GetHeight(); ++y)
      s.pixels.insert(s.pixels.end(), lock.Row(y), lock.Row(y) + row);
    return s;
  }
  // A colour layer whose every pixel differs from its neighbours, so that a shifted, tiled
  // or mirrored copy shows.
  OLayer* AddPatterned(int w, int h, UINT id, int x, int y) {
    OLayer* l = AddLayer(w, h, OLayer::myFORMAT_C32, id, x, y, 0);
    {
      LayerLock lock;
      EXPECT_TRUE(lock.Lock(l, 0));
      for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
          reinterpret_cast<uint32_t*>(lock.Row(row))[col] = 0xFF000000u | uint32_t(row * 977 + col * 131 + 7);
    }
    l->MipRefresh(nullptr);
    return l;
  }

  CropShell shell;
  ScriptedLayerAsk ask;
  COperMove* move = nullptr;
  COperNew* create = nullptr;
  COperCrop* crop = nullptr;
};
