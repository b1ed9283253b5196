#include "TestThing.h"

static const GComponentRecord g_table[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OBrush", u"A", u"brush A of the first library", GCreateComponent<XTestThing<1>>},
    {u"OBrush", u"C", u"brush C", GCreateComponent<XTestThing<1>>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_table);
