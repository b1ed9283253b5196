// The shape plug-in: polygon filling, outline tracing, flood fill and quadrilateral mapping.
#include "Corbish.h"
#include "XCreateShapeFromBitmap.h"
#include "XFlood.h"
#include "XLasso.h"

static const GComponentRecord g_corbishTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OShape", u"Corbish", u"...", GCreateComponent<Corbish>},
    {u"OLasso", u"XLasso", u"...", GCreateComponent<XLasso>},
    {u"OFlood", u"XFlood", u"...", GCreateComponent<XFlood>},
    {u"OCreateShapeFromBitmap", u"XCreateShapeFromBitmap", u"...", GCreateComponent<XCreateShapeFromBitmap>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_corbishTable);
