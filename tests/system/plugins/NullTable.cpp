// A library whose table pointer is null.
#include "TestThing.h"

GEXPORT_COMPONENT_TABLE(nullptr);
