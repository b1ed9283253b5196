// A program without a screen around one document, as the document and image import targets
// need it: the system object with the layer engine's, the display device's, the coders', the
// worker's and the undo recorder's classes, and an empty document of 64 x 48. The machine's
// memory counts as 64 MB, so that the loaders refuse layers of more than a few thousand pixels
// square and one input stays quick.
#pragma once
#include <memory>

#include "FuzzSystem.h"
#include "Morvane.h"
#include "XCoderZlib.h"
#include "XShowDevice.h"
#include "XUndoRecorder.h"
#include "XWorker.h"
#include "core/HeadlessHost.h"
#include "core/TavrikDoc.h"
#include "odata/GCompRef.h"
#include "platform/base/Memory.h"

struct FuzzDocument {
  FuzzSystem system;
  GCompRef<OShowDevice> device;
  CHeadlessHost host{SIZE{48, 32}};
  CHeadlessJobRunner runner;
  NewSpaceSize size{64, 48};
  std::unique_ptr<CTavrikDoc> doc;

  FuzzDocument() {
    plat::SetMemoryBudget(64ull << 20);
    system.Add(u"Morvane", GCreateComponent<Morvane>);
    system.Add(u"XShowDevice", GCreateComponent<XShowDevice>);
    system.Add(u"XEncoderZlib", GCreateComponent<XEncoderZlib>);
    system.Add(u"XDecoderZlib", GCreateComponent<XDecoderZlib>);
    system.Add(u"XWorker", GCreateComponent<XWorker>);
    system.Add(u"XUndoRecorder", GCreateComponent<XUndoRecorder>);
    device = static_cast<OShowDevice*>(system.NewObj(u"XShowDevice", nullptr)->GetInterface(u"OShowDevice"));
    doc = std::make_unique<CTavrikDoc>(&system, device, &host, &runner, &size, nullptr);
    FUZZ_CHECK(doc->NewDocument(CTavrikDoc::myNEW_EMPTY));
  }
};
