// The page-layout persona's keyboard shortcuts.
#pragma once
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class LayoutToolsKeyboardAcceleratorPopulator : public ToolsKeyboardAcceleratorPopulator {
    QV_OBJECT(LayoutToolsKeyboardAcceleratorPopulator)
public:
    // Registers the persona's default shortcuts.
    void initialise() override;
};
