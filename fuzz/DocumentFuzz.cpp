// Opens the fuzz input as a document file, the way the program does (the container's header,
// then the space, layer and colour sections, each through its own unit), and composes what
// loaded into a small view. Nothing may crash, hang or leak; a refused document leaves the
// open one as it was, and one that loads has no more layers than the format allows.
//
// The first input byte steers: bit 0 puts the file's real length and the matching check word
// into the header, so that mutations reach the sections; bits 1-3 pick the view's scale and
// bit 4 mirrors it. The remaining bytes are the file.
//
// Seeds: with TAVRIK_DOCUMENT_SEEDS=<folder> in the environment the binary writes a few
// documents saved by the program there and exits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "FuzzDocument.h"
#include "odata/LittleEndian.h"
#include "platform/base/Files.h"
#include "platform/base/Text.h"

namespace {

using Bytes = std::vector<uint8_t>;
struct Program : FuzzDocument {
  std::u16string folder;

  Program() {
    FUZZ_CHECK(doc->NewDocument(CTavrikDoc::myNEW_COLOR));
    folder = FuzzFolder(u"tavrik-docfuzz-", {u"input.kelv", u"seed.kelv"});
    FUZZ_CHECK(!folder.empty());
  }
};

Program& TheProgram() {
  static Program* program = new Program();  // lives as long as the process: its threads too
  return *program;
}

// What identifies the open document: its size, background and rows.
std::string Describe(CTavrikDoc* doc) {
  CPaintSpace* space = doc->GetPaintSpace();
  std::string s = std::to_string(space->GetWidth()) + "x" + std::to_string(space->GetHeight()) + "/" +
                  std::to_string(space->GetBackground());
  CMyListLayer* list = doc->GetListLayer();
  for (int i = 0; i < list->GetCount(); ++i) s += "," + std::to_string(uintptr_t(list->GetLayer(i)));
  return s;
}

// Composes the rows into a 48 x 32 view of the whole space, as a redraw does.
void Compose(Program& p, uint8_t mode) {
  CPaintSpace* space = p.doc->GetPaintSpace();
  CMyListLayer* list = p.doc->GetListLayer();
  static const float kScales[8] = {1.0f / 16, 0.1f, 0.5f, 1, 1.5f, 2, 7, 16};
  ViewTransform v{};
  v.flags = (mode & 16) ? VIEW_FLAG_FLIP : 0;
  v.spaceWidth = space->GetWidth();
  v.spaceHeight = space->GetHeight();
  v.background = space->GetBackground();
  v.clientWidth = 48;
  v.clientHeight = 32;
  v.centreX = float(v.spaceWidth) / 2;
  v.centreY = float(v.spaceHeight) / 2;
  v.scale = kScales[(mode >> 1) & 7];
  FUZZ_CHECK(p.device->DrawBegin(&v, TRUE));
  for (int i = 0; i < list->GetCount(); ++i)
    p.device->DrawLayer(list->GetLayer(i), i == list->GetCurSel() ? 4096u : 0u, nullptr);
  RECT rc{0, 0, 48, 32};
  p.device->DrawEnd(&rc, nullptr);
}

void WriteSeeds(const char* folder) {
  Program& p = TheProgram();
  const std::u16string path = p.folder + u"seed.kelv";
  auto save = [&](const std::string& name) {
    FUZZ_CHECK(p.doc->SaveFile(path));
    FILE* f = std::fopen(plat::ToUtf8(path).c_str(), "rb");
    FUZZ_CHECK(f);
    Bytes bytes;
    for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(uint8_t(c));
    std::fclose(f);
    WriteSeed(folder, name, 0, bytes);
  };
  save("one_colour_layer");
  CMyListLayer* list = p.doc->GetListLayer();
  GCompRef<OLayer> mask = p.device->CreateLayer(20, 70, OLayer::myFORMAT_A16, list->NewLayerID());
  mask->SetPosition(-5, 9, FALSE);
  list->AddLayer(-1, mask);
  save("colour_and_mask");
  p.doc->NewDocument(CTavrikDoc::myNEW_EMPTY);
  save("no_layers");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  WriteSeedsWhenAsked("TAVRIK_DOCUMENT_SEEDS", WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Program& p = TheProgram();
  const uint8_t mode = data[0];
  Bytes file(data + 1, data + size);
  if ((mode & 1) && file.size() >= 32) {
    PutLE32(file.data() + 8, uint32_t(file.size()));
    PutLE32(file.data() + 16, GetLE32(file.data() + 12) + uint32_t(file.size()));
  }
  const std::u16string path = p.folder + u"input.kelv";
  FILE* f = std::fopen(plat::ToUtf8(path).c_str(), "wb");
  FUZZ_CHECK(f);
  if (!file.empty()) std::fwrite(file.data(), 1, file.size(), f);
  FUZZ_CHECK(std::fclose(f) == 0);

  const std::string before = Describe(p.doc.get());
  BOOL loaded = FALSE;
  try {
    loaded = p.doc->LoadFile(path);
  } catch (GErrRecord* e) {
    // Only a failed allocation may end a load this way; the open document stays.
    e->AddRef();
    e->Release();
  }
  if (!loaded) {
    FUZZ_CHECK(Describe(p.doc.get()) == before);
  } else {
    FUZZ_CHECK(p.doc->GetListLayer()->GetCount() <= LYR_MAX_SUM);
    FUZZ_CHECK(p.doc->GetListLayer()->VerifyUniqueID());
  }
  Compose(p, mode);
  return 0;
}
