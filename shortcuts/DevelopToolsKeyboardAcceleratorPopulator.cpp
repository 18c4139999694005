#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"

#include "app/UnitStatics.h"

QV_IMPLEMENT(DevelopToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {}

// The default table arrives with the persona's shortcut set; until then the persona has none.
void DevelopToolsKeyboardAcceleratorPopulator::initialise() {}
