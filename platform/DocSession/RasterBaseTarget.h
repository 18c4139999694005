// The engine's static pixel-command entry points and its document-wide command target. The
// stand-in records every call, with its arguments, in the call log and keeps nothing.
#pragma once
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "AdjustmentNodes.h"
#include "DocumentController.h"
#include "Kernel/Consolidated.h"
#include "Kernel/Counted.h"
#include "Kernel/String.h"
#include "Tools.h"
#include "Raster/AdjustmentParams.h"
#include "Renderer/Renderer.h"

namespace Kernel {
class DataSource;
}

// Yes/no queries of the pixel menu's validation, asked with the view's current tool.
#define QV_RASTER_TOOL_QUERIES(X) \
    X(CanApplyFilter)             \
    X(CanChromaticAberration)     \
    X(CanInvert)                  \
    X(CanEditLiveProjection)      \
    X(CanAddLiveProjection)       \
    X(CanRemoveLiveProjection)    \
    X(CanRefineMask)              \
    X(CanReselect)                \
    X(CanMergeDown)               \
    X(CanMergeSelected)           \
    X(CanEnqueueColourTag)

// Pixel operations that take the current tool and nothing else.
#define QV_RASTER_TOOL_OPERATIONS(X)                  \
    /* layers */                                      \
    X(EnqueueAddRasterNodeWithTool)                   \
    X(EnqueueAddPatternRasterNodeFromSelectionWithTool) \
    X(EnqueueAddFillRasterNodeWithTool)               \
    /* one-shot raster operations */                  \
    X(DetectEdges)                                    \
    X(EnqueueDetectDepthWithTool)                     \
    X(EnqueueDetectNormalsWithTool)                   \
    X(EnqueueDetectSaliencyWithTool)                  \
    X(DeinterlaceEven)                                \
    X(DeinterlaceOdd)                                 \
    X(ApplyAutoLevels)                                \
    X(ApplyAutoContrast)                              \
    X(ApplyAutoColours)                               \
    X(ApplyAutoWhiteBalance)                          \
    X(EraseWhitePaper)                                \
    X(Invert)                                         \
    X(ChromaticAberration)                            \
    X(DetectHorizontalEdges)                          \
    X(DetectVerticalEdges)                            \
    X(RectangularToPolar)                             \
    X(PolarToRectangular)                             \
    X(RefineMask)                                     \
    X(ApplyAverageBlur)                               \
    X(MonochromeDither)                               \
    X(WebSafeDither)                                  \
    X(Solarise)                                       \
    X(Colourise)                                      \
    X(RemoveWhiteMatte)                               \
    X(RemoveBlackMatte)                               \
    X(PreMultiply)                                    \
    X(PostDivide)                                     \
    X(LinearFit)                                      \
    /* 360-degree projections */                      \
    X(EnqueueConvertToEquirectangularProjection)      \
    X(EditLiveProjection)                             \
    X(EnqueueConvertToPerspectiveProjection)          \
    X(EnqueueRemoveProjection)

namespace Kestrane {

class RasterBaseTarget {
public:
    // Persona entry checks: 1 enters; other codes say what the user must select or rasterise first.
    static int CanEnterLiquify(Kernel::Counted<DocumentController const> document);
    static int CanEnterDevelop(Kernel::Counted<DocumentController const> document);
    static int CanEnterToneMap(Kernel::Counted<DocumentController const> document);

#define QV_DECLARE_TOOL_OPERATION(Name) static void Name(Kernel::Counted<Tool> tool);
    QV_RASTER_TOOL_OPERATIONS(QV_DECLARE_TOOL_OPERATION)
#undef QV_DECLARE_TOOL_OPERATION

    // ---- New layers and colour tags ----
    static void EnqueueAddGroupNodeWithTool(Kernel::Counted<Tool> tool, Kernel::StringT<Kernel::TEncUtf8>* name);
    static void EnqueueColourTag(Kernel::Counted<Tool> tool, Kernel::Consolidated<Renderer::ColourRGB> colour);

    // ---- Adjustment layers: the record, a colour space for three kinds, a value and a blend mode ----
    using Mode = Renderer::FillBlendMode::BlendMode;
    static void EnqueueAddExposureAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::Exposure::Params params, double value, Mode mode);
    static void EnqueueAddLUT3DAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::LUT3D::Params params, double value, Mode mode);
    static void EnqueueAddOCIOAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::OCIOConvert::Params params, double value, Mode mode);
    static void EnqueueAddPosteriseAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::Posterise::Params params, double value, Mode mode);
    static void EnqueueAddThresholdAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::Threshold::Params params, double value, Mode mode);
    static void EnqueueAddInvertAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, double value, Mode mode);
    static void EnqueueAddLevelsAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::Levels::Params params, Raster::ColourSpace space, double value, Mode mode);
    static void EnqueueAddCurvesAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::Curves::Params params, Raster::ColourSpace space, double value, Mode mode);
    static void EnqueueAddBrightnessContrastAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::BrightnessContrast::Params params, double value, Mode mode);
    static void EnqueueAddHSLShiftAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, HSLShiftAdjustmentRasterNode::Params params, double value, Mode mode);
    static void EnqueueAddRecolourAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, RecolourAdjustmentRasterNode::Params params, double value, Mode mode);
    static void EnqueueAddVibranceAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, VibranceAdjustmentRasterNode::Params params, double value, Mode mode);
    static void EnqueueAddWhiteBalanceAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, WhiteBalanceAdjustmentRasterNode::Params params, double value, Mode mode);
    static void EnqueueAddColourBalanceAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::ColourBalance::Params params, double value, Mode mode);
    static void EnqueueAddChannelMixerAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::ChannelMixer::Params params, Raster::ColourSpace space, double value, Mode mode);
    static void EnqueueAddBlackAndWhiteAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::BlackAndWhite::Params params, double value, Mode mode);
    static void EnqueueAddSoftProofAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::SoftProof::Params params, double value, Mode mode);
    static void EnqueueAddGradientMapAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, GradientMapAdjustmentRasterNode::Params params, double value, Mode mode);
    static void EnqueueAddSelectiveColourAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::SelectiveColour::Params params, double value, Mode mode);
    static void EnqueueAddShadowsHighlightsAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, ShadowsHighlightsAdjustmentRasterNode::Params params, double value, Mode mode);
    static void EnqueueAddLensFilterAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::LensFilter::Params params, double value, Mode mode);
    static void EnqueueAddSplitToningAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::SplitToning::Params params, double value, Mode mode);
    static void EnqueueAddNormalsAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Raster::TransformNormals::Params params, double value, Mode mode);

    // Adds or removes the frequency-separation layers of the tool's document.
    static void ToggleFrequencyLayer(Kernel::Counted<Tool> tool);

    // ---- Yes/no queries (RasterDocumentParts.cpp) ----
#define QV_DECLARE_TOOL_QUERY(Name) static bool Name(Kernel::Counted<Tool> tool);
    QV_RASTER_TOOL_QUERIES(QV_DECLARE_TOOL_QUERY)
#undef QV_DECLARE_TOOL_QUERY
    // Stand-in answers of the queries, and of CommonBaseTarget::CanMaskToBelow; all YES at first.
    struct QueryAnswers {
#define QV_TOOL_QUERY_ANSWER(Name) bool Name = true;
        QV_RASTER_TOOL_QUERIES(QV_TOOL_QUERY_ANSWER)
#undef QV_TOOL_QUERY_ANSWER
        bool CanMaskToBelow = true;
    };
    static QueryAnswers& StandInQueryAnswers();

    // ==== Live filters, merges, masks, selections and document commands ====
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
    // ==== end of live filters, merges, masks, selections and document commands ====

    // Stand-in answers. Unset, a check answers 0 without a document and 1 with one.
    struct Answers {
        std::optional<int> canEnterLiquify;
        std::optional<int> canEnterDevelop;
        std::optional<int> canEnterToneMap;
    };
    static Answers& StandInAnswers();
    // Stand-in: called inside every adjustment entry point, after the call is recorded, with the
    // entry point's name and its record as received (null for Invert). Tests look at the record
    // while the call runs, or throw to stand for an engine failure.
    using ParamsObserver = std::function<void(std::string_view entry, const void* params)>;
    static ParamsObserver& StandInParamsObserver();
};

// The engine's command target for work on the whole document.
class CommonBaseTarget {
public:
    // A node holding the data source's content, for embedding in the document; empty when the
    // source is empty or holds nothing (the stand-in: an empty file).
    static Kernel::Counted<Node> CreateNodeForEmbed(Kernel::Counted<DocumentController const> document,
                                                    Kernel::Counted<Kernel::DataSource> source);
    // Whether the selected layer can become a mask of the layer below it.
    static bool CanMaskToBelow(Kernel::Counted<DocumentController const> document);

    // ==== Document-wide operations ====
    // Makes the selected layer a mask of the layer below it.
    static void MaskToBelow(Kernel::Counted<DocumentController const> document, bool flag);
    // ==== end of document-wide operations ====
};

}  // namespace Kestrane
