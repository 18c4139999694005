// The pixel persona's menu driven through the running executable.
#include "headless_app_support.h"

namespace {

TEST_F(HeadlessAppTest, PixelMenuItemsPrintTheirEngineCallsWithTheirArguments) {
    AppRun run = RunApp(
        "newdocument Photo\n"
        "menu tavikPersona:\n"
        "menu addLevelsAdjustmentRasterLayer:\n"
        "menu addSoftProofAdjustmentRasterLayer:\n"
        "menu refineSelection:\n"
        "menu addInvertAdjustmentRasterLayer:\n"
        "menu addPatternRasterLayer:\n"
        "answer Create\n"
        "menu addPatternRasterLayer:\n"
        "menu colourTagClear:\n"
        "closedocument\n"
        "menu editLiveProjection:\n"
        "menu gaussianBlur:\n"
        "menu autoLevels:\n");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string leading = "leading={values=[0, 0, 0, 0], bytes=00000000000000000000000000000000, byte0=0, byte1=0, last=0}";
    std::vector<std::string> want{
        "Kestrane::RasterBaseTarget::EnqueueAddLevelsAdjustmentRasterNodeWithTool(<SelectTool 0>, Raster::Levels::Params{"
        "inputBlack=0, inputWhite=1, gamma=1, outputBlack=0, outputWhite=1, channelInputBlack=[0, 0, 0, 0, 0], "
        "channelInputWhite=[1, 1, 1, 1, 1], channelGamma=[1, 1, 1, 1, 1], channelOutputBlack=[0, 0, 0, 0, 0], "
        "channelOutputWhite=[1, 1, 1, 1, 1], channel=0, perChannel=false}, 0, -1, 37)",
        "AppPanelManager::showAdjustmentsPanel",
        // The application starts with the bundle's CMYK profile as the proofing default.
        "Kestrane::RasterBaseTarget::EnqueueAddSoftProofAdjustmentRasterNodeWithTool(<SelectTool 0>, Raster::SoftProof::Params{" +
            leading +
            ", proofProfile=<ICCProfile \"Artifex CMYK SWOP Profile\">, intent=0, outputProfile=<ICCProfile "
            "\"sRGB IEC61966-2.1\">, proofIntent=1, outputIntent=3, blackPointCompensation=1}, -1, 37)",
        "AppPanelManager::showAdjustmentsPanel",
        // A new document offers one tool of every filter class, numbered from 200 in menu order.
        "RefineSelectionTool::SetRefiningMask(<RefineSelectionTool 244>, false)",
        "DocumentView::setCurrentTool:(<RefineSelectionTool 244>)",
        "Kestrane::RasterBaseTarget::EnqueueAddInvertAdjustmentRasterNodeWithTool(<RefineSelectionTool 244>, -1, 37)",
        "NewPatternWindowController::init()",
        "NSApplication::runModalForWindow:(<NSWindow \"New Pattern Layer\">)",
        "NewPatternWindowController::create:()",
        // Without an answer the dialog is cancelled.
        "NewPatternWindowController::init()",
        "NSApplication::runModalForWindow:(<NSWindow \"New Pattern Layer\">)",
        "NewPatternWindowController::cancel:()",
        "Kestrane::RasterBaseTarget::EnqueueColourTag(<RefineSelectionTool 244>, ColourRGB{0, 0, 0, 0})",
        // With the document closed, Edit Live Projection and the filter tools do nothing; the
        // one-shot operations still go to the engine with an empty tool.
        "Kestrane::RasterBaseTarget::ApplyAutoLevels(null)",
        "AppController::shutDown()",
    };
    std::vector<std::string> got = From(run, want.front());
    if (got.size() > want.size()) got.resize(want.size());
    EXPECT_EQ(got, want) << run.err;
}

}  // namespace
