#include "ExportPicture.h"

#include "core/ImageFile.h"
#include "core/PaintSpace.h"
#include "odata/GError.h"
#include "odata/GLock.h"
#include "panels/LayerAsk.h"
#include "panels/MyListLayer.h"

BOOL ExportPicture(CPaintSpace* space, ILayerAsk* ask) {
  try {
    if (!space || !ask || space->GetState() != CPaintSpace::myREADY || !space->m_pwndListLayer) return FALSE;
    space->FinishWork();
    GVERIFY(space->GetWorker() && space->GetWorker()->IsReady(), u"!m_cpWorker->IsReady()");
    std::u16string path = u"picture";
    if (!ask->AskImagePath(TRUE, &path)) return FALSE;
    int quality = 100;
    GCompRef<OImageCodec> codec = ChooseImageWriter(space->GetSystem(), ask, path, &quality);
    if (!codec) return FALSE;
    // The picture: the shown layers composed over the opaque background, in a colour layer
    // of the space's size that lives only until the file is written.
    GCompRef<OLayer> picture;
    LayerLock lock;
    {
      GAutoLock draw(space->GetDrawLock());
      OShowDevice* device = space->GetShowDevice();
      ViewTransform view = *space->m_pTransform;
      if (!device->DrawBegin(&view, FALSE)) return FALSE;
      CMyListLayer* list = space->m_pwndListLayer;
      for (int i = 0; i < list->GetCount(); ++i) device->DrawLayer(list->GetLayer(i), 0, nullptr);
      picture = device->DrawEndForSample(&lock);
    }
    GVERIFY(picture, u"!cpPicture");
    return WriteImageFile(space, ask, codec, path, &lock, quality);
  }
  GCATCH(u"CPaintSpace", u"::OnFileSaveAsImage()")
}
