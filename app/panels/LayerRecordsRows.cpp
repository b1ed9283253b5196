// The row records: paste and load, create, delete and cut, the three merges, the order and the
// partition mask. Each direction reads and checks all of its record (a swapped-out step comes
// back from a file) and rebuilds what it needs before the rows change.
#include <string>
#include <vector>

#include "HeldLayerBlock.h"
#include "LayerMerge.h"
#include "LayerRecords.h"
#include "core/DataBlocks.h"
#include "odata/GError.h"

namespace {

// Pixels changed in place: the mip levels are rebuilt at the end of the undo.
constexpr uint32_t kChangedInPlace = 8;

// A name field of the create and partition records: units up to the first zero, at most 128.
std::u16string ReadRecordName(OData* block) {
  std::u16string name;
  for (size_t i = 0; i < 128; ++i) {
    char16_t c = 0;
    block->Read(&c, 2);
    if (!c) break;
    name.push_back(c);
  }
  return name;
}

int32_t Field(OData* block) {
  uint32_t v;
  ReadFields(block, &v, 1);
  return int32_t(v);
}

}  // namespace

int32_t CMyListLayer::ExecuteRowStep(StepRun& run) {
  const bool redo = run.redo;
  switch (run.type) {
    case LYR_UNDO_PASTE: {
      GCompRef<OData> head = run.Next();
      const UINT id = UINT(Field(head));
      if (!redo) {
        OLayer* layer = CheckedLayer(0, id, u"!poLayer->GetID()==(UINT)nID");
        layer->AddChangeFlags(LYR_CHANGE_SIZE);
        GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
        GVERIFY(DelLayer(0), u"!pOuter->DelLayer(0)");
        run.Inverse({head, backup});
      } else {
        GCompRef<OData> backup = run.Next();
        GCompRef<OLayer> layer = Rebuild(backup);
        GVERIFY(layer->GetID() == id, u"!cpLayer->GetID()==(UINT)nID");
        GVERIFY(AddLayer(0, layer) != -1, u"!pOuter->AddLayer(0,cpLayer)!=-1");
        run.Inverse({head});
      }
      m_nUndoSel = 0;
      return 0;
    }
    case LYR_UNDO_CREATE: {
      GCompRef<OData> block = run.Next();
      const UINT id = UINT(Field(block));
      if (!redo) {
        OLayer* layer = CheckedLayer(0, id, u"!poLayer->GetID()==(UINT)nNewID");
        layer->AddChangeFlags(LYR_CHANGE_SIZE);
        GVERIFY(DelLayer(0), u"!pOuter->DelLayer(0)");
      } else {
        const LayerInfo info = ReadLayerInfo(block);
        const std::u16string name = ReadRecordName(block);
        GCompRef<OLayer> layer = NewLayer(info.nWidth, info.nHeight, info.nPixelSize, id);
        layer->SetName(name.c_str());
        layer->SetPosition(info.x, info.y, FALSE);
        layer->AddChangeFlags(LYR_CHANGE_NEW);
        GVERIFY(AddLayer(0, layer) != -1, u"!pOuter->AddLayer(0,cpLayer)!=-1");
      }
      run.Inverse({block});
      m_nUndoSel = 0;
      return 0;
    }
    case LYR_UNDO_DELETE: {
      GCompRef<OData> head = run.Next();
      const int index = Field(head);
      if (!redo) {
        // The row and the rebuilt layer's ID are written back into this block.
        GVERIFY(head->GetSize() >= 8, u"!poData->GetSize()>=8");
        GVERIFY(index >= 0 && index <= GetCount() && GetCount() < LYR_MAX_SUM,
                u"!nIndex==pOuter->InsertString(nIndex,_T(\"\"))");
        GCompRef<OData> backup = run.Next();
        GCompRef<OLayer> layer = Rebuild(backup);
        GVERIFY(AddLayer(index, layer) == index, u"!nIndex==pOuter->InsertString(nIndex,_T(\"\"))");
        head->Rewind();
        BYTE b[4];
        PutLE32(b, uint32_t(index));
        head->Write(b, 4);
        PutLE32(b, layer->GetID());
        head->Write(b, 4);
        run.Inverse({head});
      } else {
        OLayer* layer = CheckedLayer(index, UINT(Field(head)), u"!poLayer->GetID()==(UINT)nID");
        layer->AddChangeFlags(LYR_CHANGE_SIZE);
        GCompRef<OData> backup = CHeldLayerBlock::Hold(layer);
        GVERIFY(DelLayer(index), u"!pOuter->DelLayer(nIndex)");
        run.Inverse({head, backup});
      }
      m_nUndoSel = index;
      return 0;
    }
    case LYR_UNDO_MERGE: {
      GCompRef<OData> head = run.Next();
      uint32_t f[7];
      ReadFields(head, f, 7);
      const int sel = int32_t(f[0]);
      const RECT rect{int32_t(f[3]), int32_t(f[4]), int32_t(f[5]), int32_t(f[6])};
      if (!redo) {
        OLayer* merged = CheckedLayer(sel, f[2], u"!poLayerNew->GetID()==(UINT)nID2");
        GVERIFY(GetCount() < LYR_MAX_SUM, u"!-1!=pOuter->AddLayer(nSel,cpLayer2)");
        GCompRef<OData> upperBackup = run.Next();
        GCompRef<OData> lowerBackup = run.Next();
        GCompRef<OLayer> upper = Rebuild(upperBackup);
        GCompRef<OLayer> lower = Rebuild(lowerBackup);
        GVERIFY(upper->GetID() == f[1] && lower->GetID() == f[2], u"!poLayerNew->GetID()==(UINT)nID2");
        merged->AddChangeFlags(LYR_CHANGE_SIZE);
        GVERIFY(DelLayer(sel), u"!pOuter->DelLayer(nSel)");
        GVERIFY(AddLayer(sel, lower) != -1, u"!-1!=pOuter->AddLayer(nSel,cpLayer2)");
        GVERIFY(AddLayer(sel, upper) != -1, u"!-1!=pOuter->AddLayer(nSel,cpLayer1)");
        run.Inverse({head});
      } else {
        OLayer* upper = CheckedLayer(sel, f[1], u"!poLayer1->GetID()==(UINT)nID1");
        OLayer* lower = CheckedLayer(sel + 1, f[2], u"!poLayer2->GetID()==(UINT)nID2");
        GCompRef<OLayer> merged = NewMergedLayer(this, upper, lower, rect);
        merged->AddChangeFlags(LYR_CHANGE_NEW | kChangedInPlace);
        GCompRef<OData> lowerBackup = CHeldLayerBlock::Hold(lower);
        GCompRef<OData> upperBackup = CHeldLayerBlock::Hold(upper);
        lower->AddChangeFlags(LYR_CHANGE_SIZE);
        upper->AddChangeFlags(LYR_CHANGE_SIZE);
        GVERIFY(DelLayer(sel + 1), u"!pOuter->DelLayer(nSel+1)");
        GVERIFY(DelLayer(sel), u"!pOuter->DelLayer(nSel)");
        GVERIFY(AddLayer(sel, merged) != -1, u"!pOuter->AddLayer(nSel,cpLayerNew)!=-1");
        run.Inverse({head, upperBackup, lowerBackup});
      }
      m_nUndoSel = sel;
      return 0;
    }
    case LYR_UNDO_MERGEMASK: {
      GCompRef<OData> head = run.Next();
      uint32_t f[3];
      ReadFields(head, f, 3);
      const int sel = int32_t(f[0]);
      OLayer* colour = CheckedLayer(sel, f[1], u"!poLayerDest->GetID()==(UINT)nIDdest");
      if (!redo) {
        GVERIFY(GetCount() < LYR_MAX_SUM, u"!-1!=pOuter->AddLayer(nSel+1,cpLayer)");
        GCompRef<OData> alpha = run.Next();
        GCompRef<OData> maskBackup = run.Next();
        GCompRef<OLayer> mask = Rebuild(maskBackup);
        GVERIFY(mask->GetID() == f[2], u"!poLayerSrc->GetID()==(UINT)nIDsrc");
        colour->AlphaRestore(alpha);
        colour->AddChangeFlags(kChangedInPlace);
        colour->PAT_MarkSet(nullptr, nullptr);
        GVERIFY(AddLayer(sel + 1, mask) != -1, u"!-1!=pOuter->AddLayer(nSel+1,cpLayer)");
        run.Inverse({head});
      } else {
        OLayer* mask = CheckedLayer(sel + 1, f[2], u"!poLayerSrc->GetID()==(UINT)nIDsrc");
        GCompRef<OData> alpha(colour->AlphaBackup());
        GCompRef<OData> maskBackup = CHeldLayerBlock::Hold(mask);
        colour->MergeMask(mask);
        colour->AddChangeFlags(kChangedInPlace);
        colour->PAT_MarkSet(nullptr, nullptr);
        mask->AddChangeFlags(LYR_CHANGE_SIZE);
        GVERIFY(DelLayer(sel + 1), u"!pOuter->DelLayer(nSel+1)");
        run.Inverse({head, alpha, maskBackup});
      }
      m_nUndoSel = sel;
      return 0;
    }
    case LYR_UNDO_MERGENEST: {
      GCompRef<OData> head = run.Next();
      uint32_t f[3];
      ReadFields(head, f, 3);
      const int sel = int32_t(f[0]);
      const int n = int32_t(f[2]);
      GVERIFY(sel >= 0 && n > 0 && n < LYR_MAX_SUM, u"!n>0");
      std::vector<uint32_t> ids(static_cast<size_t>(n));
      ReadFields(head, ids.data(), ids.size());
      if (!redo) {
        OLayer* base = CheckedLayer(sel, f[1], u"!poLayerDest->GetID()==(UINT)nIDdest");
        GVERIFY(GetCount() + n <= LYR_MAX_SUM, u"!-1!=pOuter->AddLayer(n+nSel,cpLayer)");
        GCompRef<OData> patch = run.Next();
        std::vector<GCompRef<OLayer>> layers;
        for (int i = 0; i < n; ++i) {
          GCompRef<OData> backup = run.Next();
          layers.push_back(Rebuild(backup));
          GVERIFY(layers.back()->GetID() == ids[size_t(i)], u"!(UINT)nIDsrc==poLayerSrc->GetID()");
        }
        base->PAT_Restore(patch);
        base->AddChangeFlags(LYR_CHANGE_PIXELS);
        for (int i = 0; i < n; ++i)
          GVERIFY(AddLayer(sel + i, layers[size_t(i)]) != -1, u"!-1!=pOuter->AddLayer(n+nSel,cpLayer)");
        run.Inverse({head});
      } else {
        const int dest = sel + n;
        GVERIFY(dest < GetCount(), u"!nDest<pOuter->GetCount()");
        OLayer* base = CheckedLayer(dest, f[1], u"!poLayerDest->GetID()==(UINT)nIDdest");
        GVERIFY(base->GetFormat() == OLayer::myFORMAT_C32, u"!poLayerDest->GetFormat()==(UINT)OLayer::myFORMAT_C32");
        for (int i = 0; i < n; ++i) CheckedLayer(sel + i, ids[size_t(i)], u"!(UINT)nIDsrc==poLayerSrc->GetID()");
        MarkNestBlocks(this, sel, n, base);
        GCompRef<OData> patch(base->PAT_Backup(FALSE));
        if (!RunNestMerge(this, sel, n, base)) {
          base->PAT_Restore(patch);
          return 1;
        }
        base->AddChangeFlags(LYR_CHANGE_PIXELS);
        std::vector<GCompRef<OData>> backups;
        std::vector<OData*> blocks{head, patch};
        for (int i = 0; i < n; ++i) {
          OLayer* layer = GetLayer(sel + i);
          backups.emplace_back(CHeldLayerBlock::Hold(layer));
          blocks.push_back(backups.back());
        }
        for (int i = 0; i < n; ++i) {
          GetLayer(sel)->AddChangeFlags(LYR_CHANGE_SIZE);
          GVERIFY(DelLayer(sel), u"!pOuter->DelLayer(nSel)");
        }
        run.Inverse(blocks);
      }
      m_nUndoSel = sel;
      return 0;
    }
    case LYR_UNDO_ORDER: {
      GCompRef<OData> block = run.Next();
      uint32_t f[3];
      ReadFields(block, f, 3);
      const int dest = int32_t(f[0]), src = int32_t(f[1]);
      if (!redo) {
        GVERIFY(GetLayer(dest) && GetLayer(dest)->GetID() == f[2], u"!pOuter->GetLayer(nDest)->GetID()==(UINT)nID");
        GVERIFY(MoveItemDataPtr(src, dest), u"!pOuter->MoveItemDataPtr(nSrc,nDest)");
      } else {
        GVERIFY(GetLayer(src) && GetLayer(src)->GetID() == f[2], u"!pOuter->GetLayer(nSrc)->GetID()==(UINT)nID");
        GVERIFY(MoveItemDataPtr(dest, src), u"!pOuter->MoveItemDataPtr(nDest,nSrc)");
      }
      run.Inverse({block});
      m_nUndoSel = redo ? dest : src;
      return 0;
    }
    case LYR_UNDO_PARTITION: {
      GCompRef<OData> block = run.Next();
      uint32_t f[3];
      ReadFields(block, f, 3);
      const int sel = int32_t(f[0]), target = int32_t(f[2]);
      if (!redo) {
        OLayer* layer = CheckedLayer(target, f[1], u"!poLayer->GetID()==(UINT)nID");
        layer->AddChangeFlags(LYR_CHANGE_SIZE);
        GVERIFY(DelLayer(target), u"!pOuter->DelLayer(nTarget)");
        // The row selected when the mask was made holds that layer again.
        m_nUndoSel = sel;
      } else {
        const LayerInfo info = ReadLayerInfo(block);
        const std::u16string name = ReadRecordName(block);
        GVERIFY(target >= 0 && target <= GetCount() && GetCount() < LYR_MAX_SUM,
                u"!nTarget==pOuter->AddLayer(nTarget,cpLayer)");
        GCompRef<OLayer> layer = NewLayer(info.nWidth, info.nHeight, info.nPixelSize, f[1]);
        layer->SetName(name.c_str());
        layer->SetColor(StoredColour(info.dwColor));
        layer->SetPosition(info.x, info.y, FALSE);
        layer->AddChangeFlags(LYR_CHANGE_NEW);
        GVERIFY(target == AddLayer(target, layer), u"!nTarget==pOuter->AddLayer(nTarget,cpLayer)");
        // The selected layer moved down with the new row when it was below it.
        m_nUndoSel = sel >= target ? sel + 1 : sel;
      }
      run.Inverse({block});
      return 0;
    }
    default:
      GTHROW(u"Should not get here!");
  }
}
