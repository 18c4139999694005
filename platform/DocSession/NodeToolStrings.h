// The node tool's titles for its context toolbar and its curve-node context menu.
#pragma once
#include "Kernel/LocalisedString.h"

namespace Kestrane {

class NodeToolContextToolbarStrings {
public:
    static Kernel::LocalisedString ConvertSharpMenuTitle() { return Title("Convert to Sharp"); }
    static Kernel::LocalisedString ConvertSmoothMenuTitle() { return Title("Convert to Smooth"); }
    static Kernel::LocalisedString ConvertSmartMenuTitle() { return Title("Convert to Smart"); }
    static Kernel::LocalisedString ActionSplitMenuTitle() { return Title("Split Curve"); }
    static Kernel::LocalisedString ActionBreakMenuTitle() { return Title("Break Curve"); }
    static Kernel::LocalisedString ActionCloseMenuTitle() { return Title("Close Curve"); }
    static Kernel::LocalisedString ActionReverseMenuTitle() { return Title("Reverse Curve"); }
    static Kernel::LocalisedString ActionDeleteNodeTitle() { return Title("Delete Node"); }
    static Kernel::LocalisedString ActionFitToCurveDeleteNodeTitle() { return Title("Delete Node and Fit Curve"); }

private:
    static Kernel::LocalisedString Title(const char* text) {
        return Kernel::LocalisedString(Kernel::StringT<Kernel::TEncUtf8>(text), Kernel::StringT<Kernel::TEncUtf8>("Node tool"));
    }
};

}  // namespace Kestrane
