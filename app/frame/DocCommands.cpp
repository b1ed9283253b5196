#include "DocCommands.h"

#include <QMainWindow>

#include "core/PaintSpace.h"
#include "core/TavrikDoc.h"
#include "frame/Dialogs.h"
#include "frame/MainFrame.h"
#include "frame/Resource.h"
#include "odata/GError.h"
#include "odata/GSystem.h"
#include "panels/MyListLayer.h"

const FilterCommand kFilterCommands[3] = {
    {ID_LAYER_BLUR, u"MorvaneFilterBlur", u"模糊", u"Blur", false},
    {ID_LAYER_BRIGHT, u"MorvaneFilterBright", u"亮度/对比度", u"Bright", true},
    {ID_LAYER_HUE, u"MorvaneFilterHue", u"色调/饱和度", u"Hue", true},
};

namespace {

// Commands whose buttons show a state: the tools and the view's mirror.
bool ShowsCheck(UINT id) {
  switch (id) {
    case ID_OPER_MOVE:
    case ID_OPER_NEW:
    case ID_OPER_CROP:
    case ID_OPER_LASSO:
    case ID_OPER_DISTORT:
    case ID_OPER_SHAPE:
    case ID_OPER_RESERVED:
    case ID_OPER_FLOOD:
    case ID_OPER_PAINT:
    case ID_OPER_POLYGON:
    case ID_OPER_SUCKER:
    case ID_VIEW_FLIP:
      return true;
    default:
      return false;
  }
}

}  // namespace

CDocCommands::CDocCommands(CMainFrame* frame) : m_pFrame(frame) {
  OnCommand(ID_FILE_SAVE, [this] { m_pFrame->SaveDocument(false); });
  OnCommand(ID_FILE_SAVE_AS, [this] { m_pFrame->SaveDocument(true); });
  OnCommand(ID_SPACE_RESIZE, [this] { OnSpaceSize(); });
  OnUpdateCommandUI(ID_SPACE_RESIZE, [this](gui::CmdUI* ui) { ui->Enable(Space() != nullptr); });
  for (const FilterCommand& f : kFilterCommands) {
    OnCommand(f.id, [this, &f] { OnFilter(f); });
    OnUpdateCommandUI(f.id, [this, &f](gui::CmdUI* ui) { ui->Enable(CanFilter(f)); });
  }
}

CPaintSpace* CDocCommands::Space() const {
  CTavrikDoc* doc = m_pFrame->GetDocument();
  CPaintSpace* space = doc ? doc->GetPaintSpace() : nullptr;
  return space && space->GetState() == CPaintSpace::myREADY ? space : nullptr;
}

BOOL CDocCommands::OnCmdMsg(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) {
  if (OfferToSpace(id, code, extra, info)) return TRUE;
  return CmdTarget::OnCmdMsg(id, code, extra, info);
}

// The paint space answers both asks through one entry: with a state it only tells (and
// fills the state), without one it runs the command.
BOOL CDocCommands::OfferToSpace(UINT id, int code, void* extra, gui::CmdHandlerInfo* info) {
  CPaintSpace* space = Space();
  if (!space) return FALSE;
  if (code == gui::CN_UPDATE_COMMAND_UI) {
    CmdUIState state;
    if (!space->OnCmdMsg(id, &state)) return FALSE;
    if (auto* ui = static_cast<gui::CmdUI*>(extra)) {
      ui->Enable(state.bEnabled);
      if (ShowsCheck(id) || state.bCheckSet) ui->SetCheck(state.bChecked ? 1 : 0);
    }
    return TRUE;
  }
  if (code != gui::CN_COMMAND) return FALSE;
  if (info) {
    CmdUIState probe;
    if (!space->OnCmdMsg(id, &probe)) return FALSE;
    info->pTarget = this;
    return TRUE;
  }
  return space->OnCmdMsg(id, nullptr);
}

BOOL CDocCommands::CanFilter(const FilterCommand& command) const {
  CPaintSpace* space = Space();
  OLayer* layer = space && space->m_pwndListLayer ? space->m_pwndListLayer->GetCurLayer() : nullptr;
  if (!layer) return FALSE;
  if (command.colourOnly) return layer->GetFormat() == OLayer::myFORMAT_C32;
  return layer->GetWidth() > 7 && layer->GetHeight() > 7;
}

void CDocCommands::OnSpaceSize() {
  try {
    CPaintSpace* space = Space();
    if (!space) return;
    space->FinishWork();
    const int oldWidth = int(space->GetWidth()), oldHeight = int(space->GetHeight());
    CDlgSpaceSize dialog(m_pFrame->GetMainWindow(), oldWidth, oldHeight);
    if (RunModal(&dialog) == QDialog::Accepted) {
      const int width = dialog.GetWidth(), height = dialog.GetHeight();
      if ((width != oldWidth || height != oldHeight) &&
          space->m_pwndListLayer->CheckMemory(width, height, OLayer::myFORMAT_A16, -1)) {
        space->GetWorker()->Wait(FALSE);
        space->Reposition(RECT{oldWidth / 2 - width / 2, oldHeight / 2 - height / 2, width, height}, u"空间>尺寸");
      }
    }
    space->InvalidateComposite();
    space->InvalidateView(TRUE);
  }
  GCATCH(GetClassName(), u"::OnSpaceSize()")
}

void CDocCommands::OnFilter(const FilterCommand& command) {
  try {
    CPaintSpace* space = Space();
    if (!space || !CanFilter(command)) return;
    space->FinishWork();
    CMyListLayer* list = space->m_pwndListLayer;
    const int index = list->GetCurSel();
    GCompRef<OLayerFilter> filter = GNewObj<OLayerFilter>(space->GetSystem(), command.component, u"OLayerFilter");
    GVERIFY(filter, u"!poFilter");
    CDlgFilter dialog(m_pFrame->GetMainWindow(), space, index, filter, command.caption, command.key);
    RunModal(&dialog);
  }
  GCATCH(GetClassName(), u"::OnFilter()", ->AppendArg(GArgStr(command.component)))
}
