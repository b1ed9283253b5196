// Undo data read back from where it waited: neither may crash, hang or leak.
//
// The first input byte steers. Bit 0 picks the half:
//  0: a layer's undo patch record. The rest of the input is the record, handed to
//     PAT_Restore, PAT_Undo or PAT_Redo (bits 1-2) of a fresh 130 x 70 layer at (3, 5),
//     a colour layer or a mask layer (bit 3); with bit 4 the layer's own description is put
//     over the record's first 32 bytes, so that mutations reach the map and the blocks.
//  1: a swap file read back. A step of one to four blocks is swapped out (byte 1 gives the
//     count and which block is fragmented, bytes 2-5 the contiguous sizes), its file is
//     replaced by the rest of the input, and the step is read back. A step that comes back
//     has its blocks at their sizes; its file goes with it either way.
//
// Seeds: with TAVRIK_UNDO_SEEDS=<folder> in the environment the binary writes a few inputs
// there (a layer's real undo record, a swap file as written) and exits.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSystem.h"
#include "Morvane.h"
#include "XUndoRecorder.h"
#include "odata/GCompRef.h"
#include "odata/GError.h"
#include "odata/GText.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace {

#define FUZZ_CHECK(cond)       \
  do {                         \
    if (!(cond)) std::abort(); \
  } while (0)

using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 130, kHeight = 70;

FuzzSystem& System() {
  static FuzzSystem system = [] {
    FuzzSystem s;
    s.Add(u"Morvane", GCreateComponent<Morvane>);
    return s;
  }();
  return system;
}

// Every swap file goes with its step.
const std::u16string& SwapFolder() { return FuzzFolder(u"tavrik-undofuzz-", {}); }

void Drop(GErrRecord* e) {
  e->AddRef();
  e->Release();
}

GCompRef<OLayer> NewLayer(int format) {
  GCompRef<OLayer> l = static_cast<OLayer*>(System().NewObj(u"Morvane", nullptr)->GetInterface(u"OLayer"));
  l->Initialize(nullptr, kWidth, kHeight, format, 1);
  l->SetPosition(3, 5, FALSE);
  return l;
}

GCompRef<OData> Block(const uint8_t* p, size_t n) {
  GCompRef<OData> d = GNewData(n);
  if (n) d->Write(p, n);
  d->Rewind();
  return d;
}

void PatchRecord(uint8_t mode, const uint8_t* p, size_t n) {
  GCompRef<OLayer> layer = NewLayer(mode & 8 ? OLayer::myFORMAT_A16 : OLayer::myFORMAT_C32);
  Bytes record(p, p + n);
  if ((mode & 16) && record.size() >= LAYER_INFO_BYTES) {
    LayerInfo info;
    layer->GetInfo(&info);
    StoreLayerInfo(info, record.data());
  }
  GCompRef<OData> data = Block(record.data(), record.size());
  try {
    switch ((mode >> 1) & 3) {
      case 0:
        layer->PAT_Restore(data);
        break;
      case 1: {
        GCompRef<OData> back = layer->PAT_Undo(data);
        break;
      }
      default: {
        GCompRef<OData> back = layer->PAT_Redo(data);
        break;
      }
    }
  } catch (GErrRecord* e) {
    Drop(e);
  }
}

bool Exists(const std::u16string& path) {
  struct stat st;
  return stat(plat::ToUtf8(path).c_str(), &st) == 0;
}

void SwapFile(const uint8_t* p, size_t n) {
  if (n < 5 || SwapFolder().empty()) return;
  const uint8_t shape = p[0];
  const int count = 1 + (shape & 3);
  const int fragmented = (shape >> 2) & 7;  // the block that is fragmented, when below count
  std::vector<size_t> sizes;
  GCompRef<GText> label = GNewText(u"fuzz");
  GCompRef<UndoBank> bank = new UndoBank(nullptr, 1, label);
  for (int i = 0; i < count; ++i) {
    GCompRef<OData> d;
    if (i == fragmented) {
      auto* fragmented = new NuvrelFragmented();
      fragmented->Init(NUVREL_FRAGMENT + 1);
      d = fragmented;
    } else {
      const size_t size = size_t(p[1 + i]) * 16;
      d = GNewData(size);
      if (size) std::memset(d->GetBuffer(), 0x5A, size);
    }
    sizes.push_back(d->GetSize());
    bank->m_listData.Append(d.get());
  }
  FUZZ_CHECK(bank->SwapOut(SwapFolder(), u"qvundo"));
  const std::u16string file = bank->m_strFile;
  FILE* f = std::fopen(plat::ToUtf8(file).c_str(), "wb");
  FUZZ_CHECK(f);
  if (n > 5) std::fwrite(p + 5, 1, n - 5, f);
  std::fclose(f);
  bool back = false;
  try {
    back = bank->SwapIn();
  } catch (GErrRecord* e) {
    Drop(e);
  }
  if (back) {
    FUZZ_CHECK(!bank->IsSwapped() && !Exists(file));
    size_t i = 0;
    bank->m_listData.ForEach([&](OData* d) { FUZZ_CHECK(i < sizes.size() && d->GetSize() == sizes[i++]); });
    FUZZ_CHECK(i == sizes.size());
  }
  bank.Release();
  FUZZ_CHECK(!Exists(file));
}

void WriteSeeds(const char* folder) {
  // A real undo record of a layer with a few marked blocks.
  GCompRef<OLayer> layer = NewLayer(OLayer::myFORMAT_C32);
  RECT rc{3, 5, 3 + 70, 5 + 2};
  layer->PAT_MarkSet(&rc, nullptr);
  GCompRef<OData> record = layer->PAT_Backup(FALSE);
  Bytes bytes(record->GetSize());
  record->Rewind();
  record->Read(bytes.data(), bytes.size());
  WriteSeed(folder, "patch_restore", 0, bytes);
  WriteSeed(folder, "patch_undo_info", 2 | 16, bytes);
  // A swap file as it is written: blocks of 32 and 48 bytes.
  Bytes swap = {1 | 4 * 7, 2, 3, 0, 0};
  swap.resize(swap.size() + 80, 0x5A);
  WriteSeed(folder, "swap_small", 1, swap);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  WriteSeedsWhenAsked("TAVRIK_UNDO_SEEDS", WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1)
    SwapFile(data + 1, size - 1);
  else
    PatchRecord(data[0], data + 1, size - 1);
  return 0;
}
