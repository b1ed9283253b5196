// The distortion plug-in: the Bezier mesh warp and its preview.
#include "Talvene.h"

static const GComponentRecord g_talveneTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"ODistort", u"Talvene", u"...", GCreateComponent<Talvene>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_talveneTable);
