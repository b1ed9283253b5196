// Sorts after BrushesA and offers a second class named "A".
#include "TestThing.h"

static const GComponentRecord g_table[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OBrush", u"B", u"brush B", GCreateComponent<XTestThing<2>>},
    {u"OBrush", u"A", u"brush A of the second library", GCreateComponent<XTestThing<2>>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_table);
