// The brush plug-in: one "OBrush" component per brush family, and the paint engine.
#include "DorvilBrush.h"
#include "DorvilEngine.h"

using dorvil::kBrushFamilies;

#define DORVIL_FAMILY(F) \
  {u"OBrush", kBrushFamilies[F].implementation, kBrushFamilies[F].description, GCreateComponent<DorvilBrushOf<F>>}

static const GComponentRecord g_dorvilTable[] = {
    {nullptr, nullptr, GCOMPONENT_TABLE_HEADER, nullptr},
    DORVIL_FAMILY(dorvil::FAMILY_PEN),
    DORVIL_FAMILY(dorvil::FAMILY_PENCIL),
    DORVIL_FAMILY(dorvil::FAMILY_INK),
    DORVIL_FAMILY(dorvil::FAMILY_AIRBRUSH),
    DORVIL_FAMILY(dorvil::FAMILY_CHARCOAL),
    DORVIL_FAMILY(dorvil::FAMILY_ERASER),
    {u"ODorvil", u"Dorvil", u"The paint engine: strokes and arcs of a brush into a layer or its glass",
     GCreateComponent<DorvilEngine>},
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_dorvilTable);
