// The engine's static pixel-command entry points that the application shell calls.
#pragma once
#include <functional>
#include <optional>
#include <vector>

#include "DocumentController.h"
#include "Kernel/Counted.h"
#include "Kernel/String.h"
#include "Tools.h"

namespace Kestrane {

class RasterBaseTarget {
public:
    // ---- Live filter layers, merges, raster selections and mask layers ----
#define QV_RASTER_TOOL_ENTRY(Name) static void Name(Kernel::Counted<Tool> tool);
#include "RasterLayerEntryPoints.def"
#undef QV_RASTER_TOOL_ENTRY
    // Range masks: the engine calls the completion, on any thread, once the mask is in place.
    static void EnqueueAddHueRangeMaskRasterNodeWithTool(Kernel::Counted<Tool> tool, std::function<void()> completion);
    static void EnqueueAddIntensityRangeMaskRasterNodeWithTool(Kernel::Counted<Tool> tool,
                                                               std::function<void()> completion);
    static void EnqueueAddBandpassMaskRasterNodeWithTool(Kernel::Counted<Tool> tool, std::function<void()> completion);

    // ---- Selections kept as a spare channel or in selection files ----
    static void SaveSelectionAsSpareChannel(Kernel::Counted<Tool> tool);
    static void SaveSelectionAsFile(Kernel::Counted<Tool> tool, Kernel::StringT<Kernel::TEncUtf8> const& path);
    static void LoadSelectionFromFile(Kernel::Counted<Tool> tool, Kernel::StringT<Kernel::TEncUtf8> const& path);

    // Stand-in: what the engine does with a range mask's completion. By default it calls it at
    // once on a thread of its own (and waits for that thread); kept completions wait for a test
    // to call them, from whichever thread it likes.
    enum class CompletionMode { CallOnWorkerThread, Keep };
    static void SetRangeMaskCompletionMode(CompletionMode mode);
    static std::vector<std::function<void()>> TakeKeptCompletions();

    // Persona entry checks: 1 enters; other codes say what the user must select or rasterise first.
    static int CanEnterLiquify(Kernel::Counted<DocumentController const> document);
    static int CanEnterDevelop(Kernel::Counted<DocumentController const> document);
    static int CanEnterToneMap(Kernel::Counted<DocumentController const> document);

    // Stand-in answers. Unset, a check answers 0 without a document and 1 with one.
    struct Answers {
        std::optional<int> canEnterLiquify;
        std::optional<int> canEnterDevelop;
        std::optional<int> canEnterToneMap;
    };
    static Answers& StandInAnswers();
};

}  // namespace Kestrane
