// The header text differs in its last character.
#include "TestThing.h"

static const GComponentRecord g_table[] = {
    {nullptr, nullptr, u" component \n!", nullptr},
    {u"OBrush", u"Refused", u"never registered", GCreateComponent<XTestThing<3>>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_table);
