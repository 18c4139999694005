// The Drovanel persona's keyboard shortcuts.
#pragma once
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class VectorToolsKeyboardAcceleratorPopulator : public ToolsKeyboardAcceleratorPopulator {
    QV_OBJECT(VectorToolsKeyboardAcceleratorPopulator)
public:
    // Registers the persona's default shortcuts.
    void initialise() override;
};
