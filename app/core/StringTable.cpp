#include "StringTable.h"

#include "frame/Resource.h"
#include "frame/ResourceIds.h"
#include "platform/gui/Resources.h"

namespace {

struct StringEntry {
  UINT id;
  const char16_t* text;
};

// Commands: "prompt\ntooltip"; a text without a line feed is both.
const StringEntry kStrings[] = {
    // Files and the application.
    {ID_FILE_NEW, u"新建文档\n新建"},
    {ID_FILE_OPEN, u"打开文档\n打开"},
    {ID_FILE_SAVE, u"保存文档\n保存"},
    {ID_FILE_SAVE_AS, u"以新的名称保存文档\n另存为"},
    {ID_FILE_EXPORT_PICTURE, u"将整个空间保存为 PNG、JPEG 或 BMP 图片\n导出图片"},
    {ID_APP_EXIT, u"退出程序\n退出"},
    {ID_APP_HELP, u"打开帮助\n帮助"},
    {ID_APP_ABOUT, u"显示程序信息与内存状况\n关于"},
    {ID_APP_CONFIGURE, u"修改程序的配置\n配置"},
    // Edit menu: undo, redo and the layer clipboard.
    {ID_EDIT_UNDO, u"撤销上一步\n撤销"},
    {ID_EDIT_REDO, u"重做撤销的一步\n重做"},
    {ID_EDIT_CUT, u"剪切当前图层到剪贴板\n剪切"},
    {ID_EDIT_COPY, u"复制当前图层到剪贴板\n复制"},
    {ID_EDIT_PASTE, u"粘贴剪贴板中的图层\n粘贴"},
    // The space and the view.
    {ID_SPACE_BACKGROUND, u"以当前颜色作为空间的背景\n背景颜色"},
    {ID_SPACE_RESIZE, u"修改空间的尺寸\n空间尺寸"},
    {ID_VIEW_ZOOM_IN, u"放大视觉\n放大"},
    {ID_VIEW_ZOOM_OUT, u"缩小视觉\n缩小"},
    {ID_VIEW_ZOOM_ONE, u"按原始尺寸显示\n原始尺寸"},
    {ID_VIEW_RESET, u"复位视觉：原始尺寸，角度归零，居中\n复位"},
    {ID_VIEW_ANGLE_ZERO, u"视觉角度归零\n角度归零"},
    {ID_VIEW_ROTATE_LEFT, u"视觉逆时针旋转 15 度\n向左旋转"},
    {ID_VIEW_ROTATE_RIGHT, u"视觉顺时针旋转 15 度\n向右旋转"},
    {ID_VIEW_FLIP, u"左右翻转视觉，不改变图像\n视觉翻转"},
    // The tools.
    {ID_OPER_MOVE, u"移动图层\n移动"},
    {ID_OPER_NEW, u"创建图层\n创建图层"},
    {ID_OPER_CROP, u"修剪空间，修剪图层，修改尺寸\n修剪"},
    {ID_OPER_LASSO, u"切割，变换，贴补图像\n手术"},
    {ID_OPER_DISTORT, u"自由贴图，该功能需要在图层栏指定一个源\n自由贴图"},
    {ID_OPER_SHAPE, u"形状填充\n形状填充"},
    {ID_OPER_FLOOD, u"油漆桶倾倒填充\n油漆桶"},
    {ID_OPER_PAINT, u"绘画\n绘画"},
    {ID_OPER_POLYGON, u"描出边缘，填充颜色\n描边填充"},
    {ID_OPER_SUCKER, u"吸管取色，仅为旧的操作习惯\n吸管"},
    // The tools' options.
    {ID_DISTORT_DOWN, u"投放图像到目标图层\n投放图像"},
    {ID_DISTORT_INVERT, u"显示反面 \n显示反面"},
    {ID_DISTORT_RESET, u"控点复位\n复位"},
    {ID_LASSO_DOWN, u"帖合选区，并改善贴图质量\n帖合"},
    {ID_LASSO_CUTMODE, u"快速删除局部图像\n圈除模式"},
    {ID_MOVE_NOMAGNET, u"无吸引力\n无磁力"},
    {ID_MOVE_KEEPLAYER, u"在当前图层范围内，不选其它图层\n不选图层"},
    {ID_NEW_NOMAGNET, u"无吸引力\n无磁力"},
    {ID_CROP_NOMAGNET, u"无吸引力\n无磁力"},
    {ID_PAINT_CLEAR, u"清空当前图层的图像\n清空"},
    {ID_PAINT_FADE, u"淡化当前图层的图像，保留一半\n淡化"},
    {ID_PAINT_FADE75, u"淡化当前图层的图像，保留四分之一\n淡化75%"},
    {ID_SHAPE_FILL, u"填充形状并投放到目标图层\n填充形状"},
    {ID_FLOOD_AUTOLAYER, u"自动分层管理：不用关心图层的选择与创建，仅选择颜色即可\n自动分层"},
    // The layer bar and the Layer menu.
    {ID_LAYER_ADD, u"创建新的图层\n创建图层"},
    {ID_LAYER_DELETE, u"删除当前图层\n删除图层"},
    {ID_LAYER_MERGE, u"将当前图层向下合并\n向下合并"},
    {ID_LAYER_OPEN_IMAGE, u"打开图像文件，作为新的图层\n打开图像"},
    {ID_LAYER_SAVE_IMAGE, u"将当前图层保存为图像文件\n保存图像"},
    {ID_LAYER_CONVERT, u"图层格式转换\n格式转换"},
    {ID_LAYER_CLEAR_FADE, u"能见度为100时清空图像，能见度小于100时淡化图像\n清空/淡化图像"},
    {ID_LAYER_FLIP_H, u"水平翻转"},
    {ID_LAYER_FLIP_V, u"垂直翻转"},
    {ID_LAYER_ROTATE, u"旋转"},
    {ID_LAYER_SCALE, u"缩放"},
    {ID_LAYER_BLUR, u"模糊当前图层\n模糊"},
    {ID_LAYER_BRIGHT, u"调节当前彩色图层的亮度与对比度\n亮度/对比度"},
    {ID_LAYER_HUE, u"调节当前彩色图层的色调与饱和度\n色调/饱和度"},
    // The brush bar.
    {ID_BRUSH_ADD, u"以当前画笔为样本，添加新的画笔\n添加画笔"},
    {ID_BRUSH_DELETE, u"删除当前画笔\n删除画笔"},
    {ID_BRUSH_FIND, u"查找新安装的画笔\n查找画笔"},
    // The Window menu's bars.
    {ID_BAR_MAIN, u"显示或隐藏文档工具栏\n文档工具栏"},
    {ID_BAR_OPERATION, u"显示或隐藏操作工具栏\n操作工具栏"},
    {ID_BAR_OPTION, u"显示或隐藏操作选项栏\n操作选项栏"},
    {ID_BAR_VIEW, u"显示或隐藏视觉工具栏\n视觉工具栏"},
    {ID_BAR_COLOR, u"显示或隐藏颜色工具栏\n颜色工具栏"},
    {ID_BAR_LAYER, u"显示或隐藏图层栏\n图层栏"},
    {ID_BAR_BRUSH, u"显示或隐藏画笔栏\n画笔栏"},
    // Texts of the panels and dialogs.
    {IDS_IMAGE_FILTER, u"便携透明图像 (*.png)|*.png|摄影图像 (*.jpg)|*.jpg|Windows位图 (*.bmp)|*.bmp||"},
    {IDS_BRUSH_PRESELECT, u"预选：空心表示浮动选择，实心表示固定选择\n预选"},
    {IDS_BRUSH_PRESET, u"笔设：画笔预备设置\n笔设"},
    {IDS_LAYER_NEST, u"嵌套：嵌入下方彩色图层\n嵌套"},
    {IDS_LAYER_COLOR, u"颜色：图层颜色类型\n颜色"},
    {IDS_LAYER_NAME, u"要编辑名称，按键时间稍长"},
    {IDS_LAYER_HIDDEN, u"隐藏该图层\n不可见"},
    {IDS_LAYER_PROTECT, u"防止涂改，保护图像内容\n保护"},
    {IDS_LAYER_SOURCE, u"某些操作需要引用一个参考源\n源"},
    {IDS_IDLEMESSAGE, u"就绪"},
};

}  // namespace

void RegisterProgramStrings() {
  for (const StringEntry& entry : kStrings) gui::RegisterStringResource(entry.id, entry.text);
}
