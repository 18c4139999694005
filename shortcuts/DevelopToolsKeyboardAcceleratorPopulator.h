// The Develop persona's keyboard shortcuts: its tool keys set the mode of the develop tool
// instead of changing the tool.
#pragma once
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class DevelopToolsKeyboardAcceleratorPopulator : public ToolsKeyboardAcceleratorPopulator {
    QV_OBJECT(DevelopToolsKeyboardAcceleratorPopulator)
public:
    // Registers the persona's default shortcuts.
    void initialise() override;
    // The "," key: single view, split view, mirror view, and back to single.
    void cycleSplitViewMode();
    // Tool keys set the develop tool's mode and post "ToolChanged"; action keys run as usual.
    BOOL acceptKey_withModifierMask(NSString* key, NSUInteger mask) override;
};
