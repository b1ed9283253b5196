// The layer engine plug-in: layers (and, as they come, filters, the layer utility and the
// display device).
#include "Morvane.h"

static const GComponentRecord g_morvaneTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OLayer", u"Morvane", u"raster layer", GCreateComponent<Morvane>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_morvaneTable);
