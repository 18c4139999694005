#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(VectorToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {}

// The default table arrives with the persona's shortcut set; until then the persona has none.
void VectorToolsKeyboardAcceleratorPopulator::initialise() {}
