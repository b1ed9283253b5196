// Imports the fuzz input as an image file the way the layer list's "open image" does: the
// file's extension picks the codec component, which reads the head, then decodes into a new
// layer that goes on top of the list. Nothing may crash, hang or leak; a refused image leaves
// the list as it was, and an imported one is one layer of a size the codecs allow, with one
// undo step.
//
// The first input byte steers: its value modulo 3 picks the extension (.png, .jpg, .bmp). The
// remaining bytes are the file.
//
// Seeds: with TAVRIK_IMPORT_SEEDS=<folder> in the environment the binary writes an image of
// each format, written by the codecs' own writers, there and exits.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzDocument.h"
#include "XImageCodec.h"
#include "panels/MyListLayer.h"
#include "platform/base/Text.h"

namespace {

using Bytes = std::vector<uint8_t>;
const char16_t* const kExtensions[3] = {u"png", u"jpg", u"bmp"};

struct Program : FuzzDocument {
  std::u16string folder;

  Program() {
    system.Add(u"Kestrum", GCreateComponent<XKestrum>);
    system.Add(u"Sevlin", GCreateComponent<XSevlin>);
    system.Add(u"Harsk", GCreateComponent<XHarsk>);
    folder = FuzzFolder(u"tavrik-importfuzz-", {u"input.png", u"input.jpg", u"input.bmp"});
    FUZZ_CHECK(!folder.empty());
  }
};

Program& TheProgram() {
  static Program* program = new Program();  // lives as long as the process: its threads too
  return *program;
}

void WriteSeeds(const char* folder) {
  LayerLock lock;
  Bytes pixels(size_t(9) * 6 * 4);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 29 + (i % 4 == 3 ? 128 : 0));
  lock.nWidth = 9;
  lock.nHeight = 6;
  lock.nPitch = 9;
  lock.nPixelSize = 4;
  lock.cbRow = 9 * 4;
  lock.pPixels = pixels.data();
  const codec::FormatCalls* calls[3] = {&codec::kPngCalls, &codec::kJpegCalls, &codec::kBmpCalls};
  for (uint8_t i = 0; i < 3; ++i) {
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    codec::CodecError err;
    FUZZ_CHECK(calls[i]->encode(f, lock, codec::EncodeParams{90, 0xFFFFFF, nullptr}, &err));
    std::fclose(f);
    WriteSeed(folder, "image_" + plat::ToUtf8(kExtensions[i]), i, Bytes(buf, buf + size));
    free(buf);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  WriteSeedsWhenAsked("TAVRIK_IMPORT_SEEDS", WriteSeeds);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Program& p = TheProgram();
  const std::u16string path = p.folder + u"input." + kExtensions[data[0] % 3];
  FILE* f = std::fopen(plat::ToUtf8(path).c_str(), "wb");
  FUZZ_CHECK(f);
  if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
  FUZZ_CHECK(std::fclose(f) == 0);

  CMyListLayer* list = p.doc->GetListLayer();
  CPaintSpace* space = p.doc->GetPaintSpace();
  const uint32_t steps = space->GetUndoStore()->GetStepCount();
  BOOL loaded = FALSE;
  try {
    loaded = list->LoadImage(path.c_str());
  } catch (GErrRecord* e) {
    // Only a failed allocation may end an import this way.
    e->AddRef();
    e->Release();
  }
  if (!loaded) {
    FUZZ_CHECK(list->GetCount() == 0);
    FUZZ_CHECK(space->GetUndoStore()->GetStepCount() == steps);
    return 0;
  }
  FUZZ_CHECK(list->GetCount() == 1);
  FUZZ_CHECK(space->GetUndoStore()->GetStepCount() == steps + 1);
  LayerInfo info;
  list->GetLayer(0)->GetInfo(&info);
  FUZZ_CHECK(info.nWidth >= 1 && info.nWidth <= int(IMAGE_SIDE_MAX) && info.nHeight >= 1 &&
             info.nHeight <= int(IMAGE_SIDE_MAX));
  FUZZ_CHECK(p.doc->NewDocument(CTavrikDoc::myNEW_EMPTY));  // the next input starts from an empty list
  return 0;
}
