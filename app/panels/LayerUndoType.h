// The type codes of the layer list's undo steps. Every step the list, its commands and the
// per-format operations write carries one of these; the list's two executors undo and redo
// them (panels/LayerRecords*.cpp). Codes 10 to 12 are not used. No Qt in here.
#pragma once
#include <cstdint>

enum LayerUndoType : uint32_t {
  LYR_UNDO_PASTE = 1,       // "粘贴", "载入": U {ID}; R {ID}, layer backup
  LYR_UNDO_CREATE = 2,      // "创建": {ID, LayerInfo, name, 0}
  LYR_UNDO_DELETE = 3,      // "删除", "剪切": U {index[, ID]}, layer backup; R {index, ID}
  LYR_UNDO_MERGE = 4,       // "合并": U {nSel, ID upper, ID lower, rect}, upper, lower; R block 1
  LYR_UNDO_MERGEMASK = 5,   // "合并>蒙板": U {nSel, ID colour, ID mask}, alpha, mask; R block 1
  LYR_UNDO_MERGENEST = 6,   // "合并>嵌套": U {nSel, ID dest, n, IDs}, patch, n backups; R block 1
  LYR_UNDO_CREATE2 = 7,     // no data
  LYR_UNDO_ORDER = 8,       // "排序": {nDest, nSrc, ID}
  LYR_UNDO_MASK = 9,        // "蒙板": {nSel, ID, mask ID}
  LYR_UNDO_TOC32 = 13,      // "转换": {index, ID, colour}
  LYR_UNDO_TOA16 = 14,      // "转换": U {index, ID, mode}, backup; R block 1
  LYR_UNDO_CLEAR = 15,      // "清空/淡化": U {index, ID, ALPHA}, fade backup; R block 1
  LYR_UNDO_INVERT = 16,     // "反像" / "反色": {index, ID}
  LYR_UNDO_ROTATE = 17,     // "旋转": U {index, ID, degrees}, backup; R block 1
  LYR_UNDO_ROTATE90 = 18,   // "旋转>90": {index, ID, rect before}
  LYR_UNDO_ROTATE180 = 19,  // "旋转>180": {index, ID}
  LYR_UNDO_ROTATE270 = 20,  // "旋转>270": {index, ID, rect before}
  LYR_UNDO_FLIPH = 21,      // "水平翻转": {index, ID}
  LYR_UNDO_FLIPV = 22,      // "垂直翻转": {index, ID}
  LYR_UNDO_SCALE = 23,      // "缩放": U {index, ID, width, height}, backup; R block 1
  LYR_UNDO_FLAGS = 24,      // "标记": {index, ID, old flags, new flags, row that lost 0x8 or -1}
  LYR_UNDO_PROPERTY = 25,   // "属性": {index, ID, item index, old, new}
  LYR_UNDO_NAME = 26,       // "名称": {index, ID, old name[256 bytes], new name[256 bytes]}
  LYR_UNDO_COLOR = 27,      // "颜色": {index, ID, old colour, new colour}
  LYR_UNDO_PARTITION = 28,  // "分区": {nSel, ID, nTarget, LayerInfo, name, 0}
};

// Degrees to radians, the one constant the rotate dialog, its record and its redo share.
constexpr double LYR_DEGREE = 0.017453292519944444;
