// The Develop persona's keyboard shortcuts.
#pragma once
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class DevelopToolsKeyboardAcceleratorPopulator : public ToolsKeyboardAcceleratorPopulator {
    QV_OBJECT(DevelopToolsKeyboardAcceleratorPopulator)
public:
    // Registers the persona's default shortcuts.
    void initialise() override;
};
