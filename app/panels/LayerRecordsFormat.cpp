// The per-format records: the mask from transparency, the conversions, clear and fade, invert,
// the rotations, the flips and the scale. Every record is checked against the rows (indices,
// IDs, formats, sizes) before anything changes: a record read back from a swap file that no
// longer fits raises its condition and leaves the layers as they were.
#include "HeldLayerBlock.h"
#include "LayerRecords.h"
#include "LayerReshape.h"
#include "core/DataBlocks.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"

namespace {

constexpr const char16_t* kIdCondition = u"!(UINT)nID==poLayer->GetID()";
constexpr const char16_t* kIsC32 = u"!poLayer->GetFormat()==OLayer::myFORMAT_C32";
constexpr const char16_t* kIsA16 = u"!poLayer->GetFormat()==OLayer::myFORMAT_A16";
constexpr const char16_t* kWorkerReady = u"!pOuter->m_pPaintSpace->m_cpWorker->IsReady()";
// Change word: pixels changed in place; the undo's end rebuilds every reduced level.
constexpr uint32_t kChangedInPlace = 8;

void ChangedInPlace(OLayer* layer) {
  layer->AddChangeFlags(kChangedInPlace);
  layer->PAT_MarkSet(nullptr, nullptr);
}

RECT ReadRect(OData* block) {
  uint32_t f[4];
  ReadFields(block, f, 4);
  return RECT{int32_t(f[0]), int32_t(f[1]), int32_t(f[2]), int32_t(f[3])};
}

}  // namespace

int32_t CMyListLayer::ExecuteFormatStep(StepRun& run) {
  GCompRef<OData> block = run.Next();
  uint32_t head[2];
  ReadFields(block, head, 2);
  const int index = int32_t(head[0]);
  const UINT id = head[1];
  OLayer* layer = CheckedLayer(index, id, kIdCondition);
  const bool redo = run.redo;

  // A new layer takes the row: the old one leaves it, the new one enters with every block
  // marked.
  auto replace = [&](OLayer* fresh) {
    layer->AddChangeFlags(LYR_CHANGE_SIZE);
    fresh->AddChangeFlags(LYR_CHANGE_NEW);
    fresh->PAT_MarkSet(nullptr, nullptr);
    SetLayer(index, fresh);
  };
  // A layer rebuilt from the step's backup, which must be the row's layer as it was.
  auto rebuild = [&](int format) {
    GCompRef<OLayer> fresh = Rebuild(run.Next());
    GVERIFY(fresh->GetID() == id, u"!cpLayer->GetID()==(UINT)nID");
    GVERIFY(fresh->GetFormat() == format, u"!cpLayer->GetFormat()==nFormat");
    return fresh;
  };

  switch (run.type) {
    case LYR_UNDO_MASK: {
      uint32_t maskId;
      ReadFields(block, &maskId, 1);
      if (!redo) {
        OLayer* mask = CheckedLayer(index + 1, maskId, u"!(UINT)nMaskID==poLayerMask->GetID()");
        // Refuses a mask of another size or format before it writes.
        layer->ProcessSplitMaskRestore(mask);
        mask->AddChangeFlags(LYR_CHANGE_SIZE);
        ChangedInPlace(layer);
        GVERIFY(DelLayer(index + 1), u"!pOuter->DelLayer(nSel+1)");
      } else {
        GVERIFY(layer->GetFormat() == OLayer::myFORMAT_C32, kIsC32);
        GCompRef<OLayer> mask = layer->ProcessSplitMask();
        mask->SetID(maskId);
        mask->SetName(u"蒙板");
        mask->AddChangeFlags(LYR_CHANGE_NEW | kChangedInPlace);
        if (AddLayer(index + 1, mask) == -1) {
          layer->ProcessSplitMaskRestore(mask);
          GTHROW(u"!-1!=pOuter->AddLayer(nSel+1,cpLayer)");
        }
        ChangedInPlace(layer);
      }
      run.Inverse({block});
      break;
    }
    case LYR_UNDO_TOC32: {
      uint32_t colour;
      ReadFields(block, &colour, 1);
      GVERIFY(layer->GetFormat() == (redo ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32), redo ? kIsA16 : kIsC32);
      // The mask's coverage comes back from the colour layer's alpha, its colour from the
      // record.
      GCompRef<OLayer> fresh = layer->Convert(redo ? 5 : 1);
      if (!redo) fresh->SetColor(colour);
      replace(fresh);
      run.Inverse({block});
      break;
    }
    case LYR_UNDO_TOA16: {
      uint32_t mode;
      ReadFields(block, &mode, 1);
      GVERIFY(layer->GetFormat() == (redo ? OLayer::myFORMAT_C32 : OLayer::myFORMAT_A16), redo ? kIsC32 : kIsA16);
      if (!redo) {
        replace(rebuild(OLayer::myFORMAT_C32));
        run.Inverse({block});
      } else {
        GVERIFY(mode <= 4, u"!(UINT)nMode<=4");
        GCompRef<OLayer> fresh = layer->Convert(int(mode));
        GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
        replace(fresh);
        run.Inverse({block, backup});
      }
      break;
    }
    case LYR_UNDO_CLEAR: {
      uint32_t alpha;
      ReadFields(block, &alpha, 1);
      if (!redo) {
        // Refuses a block of another size before it writes.
        layer->ProcessImpairRestore(run.Next());
        SetLayerAlpha(layer, int32_t(alpha));
        ChangedInPlace(layer);
        run.Inverse({block});
      } else {
        const int kept = int32_t(alpha) >= 0 && int32_t(alpha) < 100 ? int32_t(alpha) : 0;
        GCompRef<OData> fade = layer->ProcessImpair(kept);
        SetLayerAlpha(layer, 100);
        ChangedInPlace(layer);
        run.Inverse({block, fade});
      }
      break;
    }
    case LYR_UNDO_INVERT:
    case LYR_UNDO_ROTATE180:
    case LYR_UNDO_FLIPH:
    case LYR_UNDO_FLIPV:
      // Each is its own inverse.
      if (run.type == LYR_UNDO_INVERT)
        layer->ProcessInvert();
      else if (run.type == LYR_UNDO_ROTATE180)
        layer->Rotate180();
      else if (run.type == LYR_UNDO_FLIPH)
        layer->FlipHorizontal();
      else
        layer->FlipVertical();
      ChangedInPlace(layer);
      run.Inverse({block});
      break;
    case LYR_UNDO_ROTATE:
    case LYR_UNDO_SCALE: {
      const bool rotate = run.type == LYR_UNDO_ROTATE;
      uint32_t f[2] = {};
      ReadFields(block, f, rotate ? 1 : 2);
      if (!redo) {
        replace(rebuild(layer->GetFormat()));
        run.Inverse({block});
        break;
      }
      GVERIFY(WorkerIdle(m_pSpace), kWorkerReady);
      RECT r;
      layer->GetRect(&r);
      const float angle = LayerAngle(int32_t(f[0]));
      int width = int32_t(f[0]), height = int32_t(f[1]);
      POINT at;
      if (rotate) {
        GVERIFY(NewLayerUtility(m_pSystem)->GetRotatedRect(layer, angle, &r),
                u"!nRotatedWidth<=10000&&nRotatedHeight<=10000");
        width = r.right - r.left;
        height = r.bottom - r.top;
        at = POINT{r.left, r.top};
      } else {
        GVERIFY(width >= 1 && width <= LYR_MAX_SIDE && height >= 1 && height <= LYR_MAX_SIDE,
                u"!nWidth>=1&&nWidth<=10000&&nHeight>=1&&nHeight<=10000");
        at = CentredOn(r, width, height);
      }
      GCompRef<OLayer> fresh = RunReshapeJob(this, layer, width, height, rotate ? &angle : nullptr,
                                             rotate ? u"正在旋转..." : u"正在缩放...");
      // Cancelled or failed: the layers stay, the step stays where it is, and the
      // recorder, not this step, closes the restore.
      if (!fresh) return 1;
      GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
      TakeOver(fresh, layer, at);
      replace(fresh);
      run.Inverse({block, backup});
      break;
    }
    case LYR_UNDO_ROTATE90:
    case LYR_UNDO_ROTATE270: {
      // The record holds the layer's rect before the turn: undo puts it back there exactly,
      // redo turns again from the same rect.
      const RECT r = ReadRect(block);
      const int w = r.right - r.left, h = r.bottom - r.top;
      if (!redo)
        GVERIFY(layer->GetWidth() == h && layer->GetHeight() == w, u"!cpLayerNew->GetWidth()==nHeight");
      else
        GVERIFY(layer->GetWidth() == w && layer->GetHeight() == h, u"!poLayer->GetWidth()==nWidth");
      const bool clockwise = (run.type == LYR_UNDO_ROTATE90) == redo;
      GCompRef<OLayer> fresh = TurnQuarter(this, layer, clockwise);
      if (!fresh)
        GTHROW(clockwise ? u"!cpLayerUtility->Rotate90(cpLayerNew,poLayer)"
                         : u"!cpLayerUtility->Rotate270(cpLayerNew,poLayer)");
      TakeOver(fresh, layer, redo ? CentredOn(r, h, w) : POINT{r.left, r.top});
      replace(fresh);
      run.Inverse({block});
      break;
    }
    default:
      GTHROW(u"Should not get here!");
  }
  MarkChanged(index);
  m_nUndoSel = index;
  return 0;
}
