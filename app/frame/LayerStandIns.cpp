// Answers for the parts of the layer list that live in files of their own which are not in
// this tree yet: each definition here goes away by itself once its file is there. Until then
// the layer commands are not handled (their menu items and buttons stay disabled) and the
// frame's layer dialogs answer "cancelled".
#include "frame/FrameLayerAsk.h"
#include "panels/MyListLayer.h"

#if !__has_include("panels/LayerCommandRoute.cpp")
BOOL CMyListLayer::OnCmdMsg(UINT, CmdUIState*) { return FALSE; }
#endif

#if !__has_include("frame/DlgLayerNew.cpp")
int CFrameLayerAsk::AskNewLayer(std::u16string*, int*, int*) { return 0; }
int CFrameLayerAsk::AskMerge(int) { return 0; }
#endif

#if !__has_include("frame/DlgLayerFormat.cpp")
int CFrameLayerAsk::AskConvertMode() { return -1; }
int CFrameLayerAsk::AskRotate(int*) { return 0; }
BOOL CFrameLayerAsk::AskScale(int*, int*) { return FALSE; }
#endif

#if !__has_include("frame/DlgImage.cpp")
BOOL CFrameLayerAsk::AskImagePath(BOOL, std::u16string*) { return FALSE; }
int CFrameLayerAsk::AskJpegQuality(int) { return 0; }
#endif
