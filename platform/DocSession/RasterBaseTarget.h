// The engine's static pixel-command entry points that the application shell calls.
#pragma once
#include <optional>

#include "DocumentController.h"
#include "Kernel/Counted.h"

namespace Kestrane {

class RasterBaseTarget {
public:
    // Persona entry checks: 1 enters; other codes say what the user must select or rasterise first.
    static int CanEnterLiquify(Kernel::Counted<DocumentController const> document);
    static int CanEnterDevelop(Kernel::Counted<DocumentController const> document);
    static int CanEnterToneMap(Kernel::Counted<DocumentController const> document);

    // Adds or removes the frequency-separation layers of the tool's document.
    static void ToggleFrequencyLayer(Kernel::Counted<Tool> tool);

    // Stand-in answers. Unset, a check answers 0 without a document and 1 with one.
    struct Answers {
        std::optional<int> canEnterLiquify;
        std::optional<int> canEnterDevelop;
        std::optional<int> canEnterToneMap;
    };
    static Answers& StandInAnswers();
};

}  // namespace Kestrane
