// The Tavik persona's keyboard shortcuts.
#pragma once
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class RasterToolsKeyboardAcceleratorPopulator : public ToolsKeyboardAcceleratorPopulator {
    QV_OBJECT(RasterToolsKeyboardAcceleratorPopulator)
public:
    // Registers the persona's default shortcuts.
    void initialise() override;

    // The "q" key: edit the selection as a layer, or go back to the layer.
    void doEditSelectionAsLayer();
    // The "f" key: add or remove the frequency-separation layers.
    void toggleFrequencySep();
};
