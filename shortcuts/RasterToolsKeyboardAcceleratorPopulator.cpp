#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"

#define QV_UNIT_TAG_ALIASES
#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(RasterToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {}

// The default table arrives with the persona's shortcut set; until then the persona has none.
void RasterToolsKeyboardAcceleratorPopulator::initialise() {}
