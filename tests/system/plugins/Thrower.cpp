// Classes that fail: one in its initialisation, one in a method.
#include "TestThing.h"

static const GComponentRecord g_table[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    {u"OThing", u"ThrowInit", u"fails to initialise", GCreateComponent<XInitFails<4>>},
    {u"OThing", u"Thrower", u"fails in Fail()", GCreateComponent<XTestThing<4>>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_table);
