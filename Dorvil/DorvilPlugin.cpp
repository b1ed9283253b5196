// The brush plug-in: one "OBrush" component per brush family.
#include "DorvilBrush.h"

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
    {nullptr, nullptr, nullptr, nullptr},
};

GEXPORT_COMPONENT_TABLE(g_dorvilTable);
