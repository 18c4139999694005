// The engine's static document-command entry points shared by every persona.
#pragma once
#include "DocumentController.h"
#include "Kernel/Counted.h"

namespace Kestrane {

class CommonBaseTarget {
public:
    // Makes the selected layer a mask of the layer below it.
    static void MaskToBelow(Kernel::Counted<DocumentController const> document, bool flag);
};

}  // namespace Kestrane
