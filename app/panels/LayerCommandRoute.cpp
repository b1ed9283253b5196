// The layer list's place in the frame's command route: the layer bar's buttons, the Edit
// menu's cut, copy and paste, and the Layer menu, each with its update-UI.
#include "MyListLayer.h"
#include "frame/ResourceIds.h"
#include "odata/GError.h"
#include "tools/Operation.h"

namespace {

// The Layer menu's commands and the row of the per-format menu each one runs.
struct LayerMenuCommand {
  UINT id;
  int row;
};
constexpr LayerMenuCommand kLayerMenu[] = {
    {ID_LAYER_CONVERT, 0}, {ID_LAYER_CLEAR_FADE, 1}, {ID_LAYER_FLIP_H, 3},
    {ID_LAYER_FLIP_V, 4},  {ID_LAYER_ROTATE, 5},     {ID_LAYER_SCALE, 6},
};

}  // namespace

BOOL CMyListLayer::OnCmdMsg(UINT id, CmdUIState* ui) {
  try {
    const BOOL attached = m_pSpace ? TRUE : FALSE;
    const BOOL selected = GetCurLayer() ? TRUE : FALSE;
    // The state first: a command runs only when its item would be enabled.
    BOOL enabled;
    void (CMyListLayer::*handler)() = nullptr;
    switch (id) {
      case ID_LAYER_ADD:
        enabled = attached;
        handler = &CMyListLayer::OnTbvcLyrAdd;
        break;
      case ID_LAYER_DELETE:
        enabled = attached;
        handler = &CMyListLayer::OnTbvcLyrDel;
        break;
      case ID_LAYER_MERGE:
        enabled = attached;
        handler = &CMyListLayer::OnTbvcLyrMerge;
        break;
      case ID_LAYER_OPEN_IMAGE:
        enabled = attached;
        handler = &CMyListLayer::OnTbvcLyrOpen;
        break;
      case ID_LAYER_SAVE_IMAGE:
        enabled = attached;
        handler = &CMyListLayer::OnTbvcLyrSave;
        break;
      case ID_EDIT_COPY:
        enabled = attached && selected;
        handler = &CMyListLayer::OnEditCopy;
        break;
      case ID_EDIT_CUT:
        enabled = attached && selected;
        handler = &CMyListLayer::OnEditCut;
        break;
      case ID_EDIT_PASTE:
        enabled = attached && m_pClipboard && m_pClipboard->HasLayer();
        handler = &CMyListLayer::OnEditPaste;
        break;
      default: {
        const LayerMenuCommand* command = nullptr;
        for (const LayerMenuCommand& c : kLayerMenu)
          if (c.id == id) command = &c;
        if (!command) return FALSE;
        OLayer* layer = GetCurLayer();
        if (ui) {
          ui->Enable(selected);
          if (id == ID_LAYER_CONVERT)
            ui->SetText(!layer                                        ? u"格式转换"
                        : layer->GetFormat() == OLayer::myFORMAT_C32 ? u"转换到单色图层(&C)"
                                                                      : u"转换到彩色图层(&C)");
        } else if (layer) {
          GetAppendixMenu(layer->GetFormat() == OLayer::myFORMAT_C32 ? OLayer::myFORMAT_C32 : OLayer::myFORMAT_A16)
              ->OnHit(command->row);
        }
        return TRUE;
      }
    }
    if (ui)
      ui->Enable(enabled);
    else if (enabled && handler)
      (this->*handler)();
    return TRUE;
  }
  GCATCH(GetClassName(), u"::OnCmdMsg()", ->AppendArg(GArgUint(id))->AppendArg(GArgPtr(ui)))
}
