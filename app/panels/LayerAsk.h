// The questions the layer list's commands put to the user: the new-layer, merge, convert,
// rotate and scale dialogs, a confirmation, and the progress display of a worker job. The
// frame answers them with its dialogs; tests answer them from a script. No Qt in here.
#pragma once
#include <string>

#include "core/JobRunner.h"
#include "platform/base/Types.h"

// The merge dialog's answers (and GetMergeOptions' bits).
constexpr int LYR_MERGE_PLAIN = 1;
constexpr int LYR_MERGE_MASK = 2;
constexpr int LYR_MERGE_NEST = 4;

// The rotate dialog's choices.
constexpr int LYR_ROTATE_ANGLE = 1;
constexpr int LYR_ROTATE_90 = 2;
constexpr int LYR_ROTATE_180 = 3;
constexpr int LYR_ROTATE_270 = 4;

struct ILayerAsk {
  virtual ~ILayerAsk() = default;
  // "创建图层": name, width and height (each 1..10000) come preset and go back edited.
  // 1 colour layer, 2 mask layer, 0 cancelled.
  virtual int AskNewLayer(std::u16string* name, int* width, int* height) = 0;
  // "与下方图层合并" with the options of GetMergeOptions: LYR_MERGE_* chosen, 0 cancelled.
  virtual int AskMerge(int options) = 0;
  // "转换到单色图层": the extraction mode 0..4, -1 cancelled.
  virtual int AskConvertMode() = 0;
  // "旋转 (顺时针)": LYR_ROTATE_*, 0 cancelled; with LYR_ROTATE_ANGLE *degrees is 0..360.
  virtual int AskRotate(int* degrees) = 0;
  // "缩放": width and height come preset; TRUE when confirmed (each 1..10000).
  virtual BOOL AskScale(int* width, int* height) = 0;
  // A file dialog for an image to open (save FALSE) or to write (save TRUE); *path comes
  // preset and goes back chosen. FALSE when cancelled.
  virtual BOOL AskImagePath(BOOL save, std::u16string* path) = 0;
  // The JPEG quality dialog: the quality 1..100 chosen, 0 when cancelled.
  virtual int AskJpegQuality(int quality) = 0;
  // A notice with OK and Cancel; TRUE when the user went on.
  virtual BOOL Confirm(const char16_t* caption, const char16_t* text) = 0;
  // Runs worker jobs behind the progress display.
  virtual CJobRunner* GetJobRunner() = 0;
};
