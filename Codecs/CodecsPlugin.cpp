// The codec plug-in: PNG, JPEG and BMP images in and out of layers.
#include "XImageCodec.h"

static const GComponentRecord g_codecTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OImageCodec", u"Kestrum", u"PNG images", GCreateComponent<XKestrum>},
    {u"OImageCodec", u"Sevlin", u"JPEG images", GCreateComponent<XSevlin>},
    {u"OImageCodec", u"Harsk", u"BMP images", GCreateComponent<XHarsk>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_codecTable);
