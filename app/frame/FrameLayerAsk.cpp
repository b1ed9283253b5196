#include "FrameLayerAsk.h"

#include "MainFrame.h"
#include "platform/gui/MessageBox.h"

QWidget* CFrameLayerAsk::Parent() const { return m_pFrame ? m_pFrame->GetWidget() : nullptr; }

BOOL CFrameLayerAsk::Confirm(const char16_t* caption, const char16_t* text) { return gui::ShowMessage(caption, text); }

CJobRunner* CFrameLayerAsk::GetJobRunner() { return m_pFrame ? m_pFrame->GetJobRunner() : nullptr; }
