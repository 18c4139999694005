// The Tavik persona's keyboard shortcuts.
#pragma once
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class RasterToolsKeyboardAcceleratorPopulator : public ToolsKeyboardAcceleratorPopulator {
    QV_OBJECT(RasterToolsKeyboardAcceleratorPopulator)
public:
    // Registers the persona's default shortcuts.
    void initialise() override;
};
