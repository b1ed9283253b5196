// The frame's answers to the layer list's questions: its dialogs over the main window and its
// progress dialog. Each dialog's answer is defined beside that dialog.
#pragma once
#include "panels/LayerAsk.h"

class CMainFrame;
class QWidget;

class CFrameLayerAsk final : public ILayerAsk {
 public:
  explicit CFrameLayerAsk(CMainFrame* frame) : m_pFrame(frame) {}
  int AskNewLayer(std::u16string* name, int* width, int* height) override;  // DlgLayerNew.cpp
  int AskMerge(int options) override;                                       // DlgLayerNew.cpp
  int AskConvertMode() override;                                           // DlgLayerFormat.cpp
  int AskRotate(int* degrees) override;                                     // DlgLayerFormat.cpp
  BOOL AskScale(int* width, int* height) override;                          // DlgLayerFormat.cpp
  BOOL AskImagePath(BOOL save, std::u16string* path) override;              // DlgImage.cpp
  int AskJpegQuality(int quality) override;                                 // DlgImage.cpp
  BOOL Confirm(const char16_t* caption, const char16_t* text) override;     // FrameLayerAsk.cpp
  CJobRunner* GetJobRunner() override;                                      // FrameLayerAsk.cpp

 private:
  // The main window, parent of the dialogs.
  QWidget* Parent() const;
  CMainFrame* m_pFrame;
};
