// The layer engine plug-in: layers (and, as they come, filters, the layer utility and the
// display device).
#include "Morvane.h"
#include "MorvaneFilterBlur.h"
#include "MorvaneFilterBright.h"
#include "MorvaneFilterHue.h"
#include "MorvaneUtility.h"
#include "XShowDevice.h"

static const GComponentRecord g_morvaneTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OLayer", u"Morvane", u"raster layer", GCreateComponent<Morvane>},
    {u"OLayerFilter", u"MorvaneFilterBlur", u"box blur", GCreateComponent<MorvaneFilterBlur>},
    {u"OLayerFilter", u"MorvaneFilterBright", u"brightness and contrast", GCreateComponent<MorvaneFilterBright>},
    {u"OLayerFilter", u"MorvaneFilterHue", u"hue and saturation", GCreateComponent<MorvaneFilterHue>},
    {u"OLayerUtility", u"MorvaneUtility", u"layer turns and scaling", GCreateComponent<MorvaneUtility>},
    {u"OShowDevice", u"XShowDevice", u"display device", GCreateComponent<XShowDevice>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_morvaneTable);
