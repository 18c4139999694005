// Document commands of the command library (namespace Commands) and their static queries.
#pragma once
#include "DocSession/Selection.h"
#include "Kernel/Counted.h"

namespace Commands {

class CreateCustomFieldFromTextCommand {
public:
    // Whether the selected text can become a custom field; the stand-in answers as
    // Kestrane::TextBaseTarget's answers say.
    static bool CanCreateCustomFieldFromSelection(Kernel::Counted<Selection const> selection);
};

}  // namespace Commands
