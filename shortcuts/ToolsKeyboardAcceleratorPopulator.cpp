#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

#define QV_UNIT_TAG_ALIASES
#include "app/UnitStatics.h"

QV_IMPLEMENT(ToolsKeyboardAcceleratorPopulator, NSObject) {
    c.method("initialise", &ToolsKeyboardAcceleratorPopulator::initialise);
}

NSObject* ToolsKeyboardAcceleratorPopulator::init() {
    if (!NSObject::init()) return nullptr;
    m_vShortcuts = NSMutableArray::array();
    m_vLastCycledDictionary = NSMutableDictionary::dictionary();
    initialise();
    return this;
}
