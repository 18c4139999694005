// Whether each item of the pixel menu can be chosen now. Every call reads the current view, its
// document, selection and tool afresh and keeps nothing; the Fade and Repeat titles, Repeat's
// visibility and the Save-with-history check mark stay as the last validation left them.
#include <unordered_map>

#include "DocSession/DocumentEngine.h"
#include "DocSession/RasterBaseTarget.h"
#include "UIFramework/NSMakeString.h"
#include "app/LocalizedString.h"
#include "menus/MenuBarRasterController.h"

namespace {
using Target = Kestrane::RasterBaseTarget;

// Pixel format codes that some filters cannot work in.
constexpr Raster::Format kRGBA8 = 0, kRGBA16 = 1, kIntensity8 = 2, kIntensity16 = 3, kCMYK8 = 4, kRGBAFloat = 9;

enum class Rule {
    CanEnqueue,          // addRasterLayer:, addGroupLayer:, 22 adjustments, the Liquify layer
    RefineSelection,
    RasterSelectionEdit,  // grow/shrink, outline, feather, smooth
    EditLiveProjection,
    AddLiveProjection,
    RemoveLiveProjection,
    SelectSampledColour,
    RefineMask,
    MaskToBelow,
    Reselect,
    SaveWithHistory,
    NotInFloatFormat,  // pre-check, then the framework's answer
    Filter,            // the 80 filters (fftDenoise: after its macro pre-check)
    Fade,
    Repeat,
    MergeDown,
    MergeSelected,
    Flatten,
    ColourTag,
};

const std::unordered_map<SEL, Rule>& Rules() {
    static const std::unordered_map<SEL, Rule> rules = [] {
        std::unordered_map<SEL, Rule> r;
        auto add = [&r](Rule rule, std::initializer_list<const char*> names) {
            for (const char* name : names) r.emplace(sel_registerName(name), rule);
        };
        add(Rule::CanEnqueue, {"addRasterLayer:", "addGroupLayer:"});
        add(Rule::RefineSelection, {"refineSelection:"});
        add(Rule::RasterSelectionEdit, {"growShrinkSelection:", "outlineSelection:", "featherSelection:", "smoothSelection:"});
        add(Rule::EditLiveProjection, {"editLiveProjection:"});
        add(Rule::AddLiveProjection, {"convertTo360:", "convertToPerspective:"});
        add(Rule::RemoveLiveProjection, {"convertFrom360:"});
        add(Rule::SelectSampledColour, {"selectSampledColour:"});
        add(Rule::RefineMask, {"refineMask:"});
        add(Rule::MaskToBelow, {"maskToBelow:"});
        add(Rule::Reselect, {"reselect:"});
        add(Rule::SaveWithHistory, {"saveWithHistory:"});
        add(Rule::NotInFloatFormat, {"addMedianBlurFilterRasterLayer:", "addBilateralBlurFilterRasterLayer:",
                                     "addDustAndScratchesFilterRasterLayer:"});
        add(Rule::Filter,
            {"gaussianBlur:", "lensBlur:", "cameraShakeBlur:", "vignette:", "halftone:", "voronoi:", "removeVignette:",
             "diffuseGlow:", "highPass:", "frequencySeparation:", "motionBlur:", "emboss:", "portraitBlur:",
             "radialBlur:", "zoomBlur:", "medianBlur:", "dustAndScratch:", "bilateralBlur:", "twirl:", "perlianNoise:",
             "perspective:", "deform:", "pinchPunch:", "sphere:", "ripple:", "lensDistortion:", "lensCorrection:",
             "equations:", "proceduralTexture:", "box:", "maximum:", "minimum:", "edgeDetect:", "deinterlaceEven:",
             "deinterlaceOdd:", "autoLevels:", "autoContrast:", "autoColours:", "autoWhiteBalance:", "shear:",
             "paperErase:", "removeWhiteMatte:", "removeBlackMatte:", "horizontalEdgeDetect:", "verticalEdgeDetect:",
             "denoise:", "fftDenoise:", "addNoise:", "diffuse:", "rectangularToPolar:", "polarToRectangular:",
             "pixelate:", "unsharpMask:", "clarity:", "depthOfField:", "fieldBlur:", "zMapBlur:",
             "chromaticAberration:", "defringe:", "displacementMap:", "average:", "matte:", "fill:", "fillPrimary:",
             "fillSecondary:", "monoDither:", "websafeDither:", "customBlur:", "solarise:", "colourise:", "mirror:",
             "applyImage:", "lighting:", "affine:", "invert:", "shadowsHighlights:", "removeAstroBackground:",
             "linearFit:", "meshWarp:", "hazeRemoval:"});
        add(Rule::Fade, {"fade:"});
        add(Rule::Repeat, {"repeat:"});
        add(Rule::MergeDown, {"mergeDown:"});
        add(Rule::MergeSelected, {"mergeSelected:"});
        add(Rule::Flatten, {"flatten:"});
        add(Rule::CanEnqueue,
            {"addExposureAdjustmentRasterLayer:", "addInvertAdjustmentRasterLayer:", "addPosteriseAdjustmentRasterLayer:",
             "addThresholdAdjustmentRasterLayer:", "addLevelsAdjustmentRasterLayer:", "addCurvesAdjustmentRasterLayer:",
             "addBrightnessContrastAdjustmentRasterLayer:", "addHSLShiftAdjustmentRasterLayer:",
             "addRecolourAdjustmentRasterLayer:", "addVibranceAdjustmentRasterLayer:",
             "addWhiteBalanceAdjustmentRasterLayer:", "addColourBalanceAdjustmentRasterLayer:",
             "addChannelMixerAdjustmentRasterLayer:", "addBlackAndWhiteAdjustmentRasterLayer:",
             "addSoftProofAdjustmentRasterLayer:", "addGradientMapAdjustmentRasterLayer:",
             "addSelectiveColourAdjustmentRasterLayer:", "addShadowsHighlightsAdjustmentRasterLayer:",
             "addPhotoFilterAdjustmentRasterLayer:", "addLUT3DAdjustmentRasterLayer:", "addOCIOAdjustmentRasterLayer:",
             "addSplitToningAdjustmentRasterLayer:", "addLiquifyFilterRasterLayer:"});
        add(Rule::ColourTag, {"colourTagRed:", "colourTagOrange:", "colourTagYellow:", "colourTagGreen:", "colourTagBlue:",
                              "colourTagPurple:", "colourTagGrey:", "colourTagClear:"});
        return r;
    }();
    return rules;
}

// The filters that answer something other than CanApplyFilter, or are barred from a format.
BOOL ValidateFilter(SEL action, DocumentView* view, const DocumentController& document, const Selection& selection) {
    static const SEL medianBlur = QV_SELECTOR(medianBlur:), dustAndScratch = QV_SELECTOR(dustAndScratch:),
                     bilateralBlur = QV_SELECTOR(bilateralBlur:), frequencySeparation = QV_SELECTOR(frequencySeparation:),
                     chromaticAberration = QV_SELECTOR(chromaticAberration:), invert = QV_SELECTOR(invert:),
                     defringe = QV_SELECTOR(defringe:), removeVignette = QV_SELECTOR(removeVignette:),
                     removeAstroBackground = QV_SELECTOR(removeAstroBackground:), linearFit = QV_SELECTOR(linearFit:);
    if (action == medianBlur || action == dustAndScratch || action == bilateralBlur) {
        if (document.GetFormat() == kRGBAFloat) return NO;
    } else if (action == frequencySeparation) {
        if (selection.ContainsOrphanedNodes()) return NO;
    } else if (action == chromaticAberration) {
        return Target::CanChromaticAberration(view->currentTool());
    } else if (action == invert) {
        return Target::CanInvert(view->currentTool());
    } else if (action == defringe) {
        const Raster::Format format = document.GetFormat();
        if (format == kIntensity8 || format == kIntensity16 || format == kCMYK8) return NO;
    } else if (action == removeVignette) {
        if (document.GetFormat() == kCMYK8) return NO;
    } else if (action == removeAstroBackground || action == linearFit) {
        const Raster::Format format = document.GetFormat();
        if (format != kRGBA8 && format != kRGBA16 && format != kRGBAFloat) return NO;
    }
    return Target::CanApplyFilter(view->currentTool());
}

BOOL ValidateFade(NSMenuItem* item, DocumentController& document, const Selection& selection) {
    Ref<NSString> plain = LocalizedStringWithContext("Fade\u2026", "Raster menu");
    if (!SelectionContainsType<RasterNode const>(selection)) {
        item->setTitle(plain.get());
        return NO;
    }
    DocumentHistory history = document.GetDocumentHistory();
    Kernel::Counted<MutableRasterInterface const> node(GetFirstSelectedOfType<RasterNode>(selection));
    if (!history.CanFadeRewind(node)) {
        item->setTitle(plain.get());
        return NO;
    }
    Ref<NSString> description = NSMakeString(history.GetMutableRasterBackingDescription(node));
    Ref<NSString> format = LocalizedStringWithContext("Fade %@\u2026", "Raster menu");
    item->setTitle(NSString::stringWithFormat(format->utf8(), {description.get()}).get());
    return YES;
}

BOOL ValidateRepeat(NSMenuItem* item, NSMenuItem* separator, const DocumentController& document, const Selection& selection) {
    Kernel::Counted<DocumentCommand> command = document.GetLastRepeatableCommand();
    if (!command) {
        if (separator) separator->setHidden(YES);
        item->setHidden(YES);
        return NO;
    }
    {
        Ref<NSString> name = NSMakeString(command->GetDisplayName());
        Ref<NSString> format = LocalizedStringWithContext("Repeat %@", "Raster menu");
        item->setTitle(NSString::stringWithFormat(format->utf8(), {name.get()}).get());
    }
    if (separator) separator->setHidden(NO);
    item->setHidden(NO);
    return GetFirstSelectedOfType<MutableRasterInterface>(selection) ? YES : NO;
}
}  // namespace

BOOL MenuBarRasterController::validateMenuItem(NSMenuItem* item) {
    if (!item) return MenuBarController::validateMenuItem(item);
    const SEL action = item->action();
    const auto found = Rules().find(action);
    if (found == Rules().end()) return MenuBarController::validateMenuItem(item);
    const Rule rule = found->second;

    Ref<DocumentView> view = TakeCurrentView();
    Kernel::Counted<DocumentControllerSession> session = view ? view->safeDocumentController() : nullptr;
    DocumentController* document = session ? session->GetDocumentController() : nullptr;
    // Everything below reads the view's document: a view without one counts as no view.
    if (!document) view = nullptr;

    // Colour tags are asked even without a view, with an empty tool.
    if (rule == Rule::ColourTag) return Target::CanEnqueueColourTag(CurrentTool(view.get()));
    if (!view) return NO;

    // The document's current selection, not the unrestricted one the context menus read.
    Kernel::Counted<Selection const> selection = document->m_currentSelection;
    if (!selection) selection = Kernel::MakeCounted<Selection>();

    static const SEL fftDenoise = QV_SELECTOR(fftDenoise:);
    switch (rule) {
    case Rule::CanEnqueue:
        return view->canEnqueueCommands();
    case Rule::RefineSelection:
        return view->canEnqueueCommands() && !selection->IsRasterSelectionSelection();
    case Rule::RasterSelectionEdit: {
        if (!view->canEnqueueCommands()) return NO;
        Kernel::Counted<SelectionRasterNode> raster = document->GetRasterSelection();
        return !(raster && raster->IsSelectNone());
    }
    case Rule::EditLiveProjection:
        return Target::CanEditLiveProjection(view->currentTool());
    case Rule::AddLiveProjection:
        return Target::CanAddLiveProjection(view->currentTool());
    case Rule::RemoveLiveProjection:
        return Target::CanRemoveLiveProjection(view->currentTool());
    case Rule::SelectSampledColour:
        return SelectionContainsType<ConstRasterInterface const>(*selection);
    case Rule::RefineMask:
        return Target::CanRefineMask(view->currentTool());
    case Rule::MaskToBelow:
        return Kestrane::CommonBaseTarget::CanMaskToBelow(CurrentDocument(view.get()));
    case Rule::Reselect:
        return Target::CanReselect(view->currentTool());
    case Rule::SaveWithHistory:
        item->setState(document->GetSaveHistory() ? 1 : 0);
        return YES;
    case Rule::NotInFloatFormat:
        if (document->GetFormat() == kRGBAFloat) return NO;
        return MenuBarController::validateMenuItem(item);
    case Rule::Filter:
        if (action == fftDenoise && view->isRecordingMacro()) return NO;
        return ValidateFilter(action, view.get(), *document, *selection);
    case Rule::Fade:
        return ValidateFade(item, *document, *selection);
    case Rule::Repeat:
        return ValidateRepeat(item, m_secretSeparator.get(), *document, *selection);
    case Rule::MergeDown:
        return Target::CanMergeDown(view->currentTool());
    case Rule::MergeSelected:
        return Target::CanMergeSelected(view->currentTool());
    case Rule::Flatten: {
        Kernel::Counted<Spread> spread = document->GetCurrentSpread();
        return spread && spread->IsPendingEditListEmpty();
    }
    case Rule::ColourTag:
        break;
    }
    return NO;
}
