// Workspaces: identity, switches, owned controllers, feature answers and the Develop commit alert.
#include "AppTestSupport.h"
#include "DocSession/DevelopTool.h"
#include "DocSession/KestraneApplication.h"
#include "app/DevelopWorkspace.h"
#include "app/LayoutWorkspace.h"
#include "app/QuirevaleApp.h"
#include "app/QuirevaleAppController.h"
#include "app/RasterWorkspace.h"
#include "app/VectorWorkspace.h"

namespace {

class WorkspaceTest : public AppShellTest {};

BOOL AskBool(NSObject* w, const char* sel, bool arg) {
    return w->performBoolSelector(sel_registerName(sel), NSNumber::numberWithBool(arg).get());
}

TEST_F(WorkspaceTest, IdentitySwitchesAndNames) {
    Ref<WorkspaceInfo> ws[] = {New<LayoutWorkspace>(), New<VectorWorkspace>(), New<RasterWorkspace>(),
                               RasterWorkspace::NewWithToolID(1), New<DevelopWorkspace>()};
    const struct {
        const char* code;
        const char* name;
        const char* menu;
        ToolID tool;
        int64_t brush;
        BOOL line, pixel, persistent, deform, raster, cache, marquees;
        const char* localised;
    } expected[] = {
        {"layo", "Layout", "MainMenuLayout", 1, 0, YES, NO, YES, NO, NO, NO, YES, "Quirevale"},
        {"vect", "Draw", "MainMenuVector", 1, 1, YES, YES, YES, YES, NO, NO, YES, "Drovanel"},
        {"rast", "Tavik", "MainMenuRaster", 0, 0, NO, YES, YES, NO, YES, NO, YES, "Tavik"},
        {"rast", "Tavik", "MainMenuRaster", 1, 0, NO, YES, YES, NO, YES, NO, YES, "Tavik"},
        {"deve", "Develop", "MainMenuDevelop", 102, 0, NO, YES, NO, NO, YES, YES, NO, "Develop"},
    };
    for (size_t i = 0; i < 5; ++i) {
        const auto& e = expected[i];
        WorkspaceInfo* w = ws[i].get();
        SCOPED_TRACE(e.name + std::to_string(i));
        ASSERT_NE(w, nullptr);
        uint32_t code = (uint32_t(e.code[0]) << 24) | (uint32_t(e.code[1]) << 16) | (uint32_t(e.code[2]) << 8) | uint32_t(e.code[3]);
        EXPECT_EQ(w->kestraneUID(), code);
        EXPECT_EQ(w->name(), e.name);
        EXPECT_EQ(w->menuName(), e.menu);
        EXPECT_EQ(w->startToolID(), e.tool);
        EXPECT_EQ(w->_preferredBrushType, e.brush);
        EXPECT_EQ(w->_drawColourContextAsLine, e.line);
        EXPECT_EQ(w->_supportsPixelLayer, e.pixel);
        EXPECT_EQ(w->_isPersistant, e.persistent);
        EXPECT_EQ(w->_supportsDeformGroupLayer, e.deform);
        EXPECT_EQ(w->_viewIsRaster, e.raster);
        EXPECT_EQ(w->_requiresSecondaryCache, e.cache);
        EXPECT_EQ(w->_supportsLayersAndMarquees, e.marquees);
        EXPECT_EQ(w->localisedName(), e.localised);
    }
}

TEST_F(WorkspaceTest, FeatureAnswersIgnoreTheirArgument) {
    Ref<WorkspaceInfo> ws[] = {New<LayoutWorkspace>(), New<VectorWorkspace>(), New<RasterWorkspace>(), New<DevelopWorkspace>()};
    // 'Y'/'N' fixed answers, '-' the framework's (which echoes the argument).
    const struct {
        const char* sel;
        const char* answers;  // Layout, Vector, Raster, Develop
    } cases[] = {
        {"allowTextRuler:", "YNN-"},       {"allowTextFramePanel:", "YNN-"},  {"canCreatePathText:", "YYY-"},
        {"canCreateTextColumns:", "Y---"}, {"allowTableText:", "YNN-"},       {"allowViewRotation:", "N---"},
        {"supportsCreateArtboards:", "-Y--"}, {"supportGridPlanes:", "-Y--"}, {"exposeHistorySnapshots:", "--Y-"},
        {"shouldGenerateHistograms:", "--Y-"}, {"supportLiveFilters:", "--Y-"}, {"supportLiveMasks:", "--Y-"},
        {"prefersPixelSelections:", "--Y-"},
    };
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            for (bool arg : {false, true}) {
                SCOPED_TRACE(std::string(c.sel) + " workspace " + std::to_string(i) + " arg " + std::to_string(arg));
                bool expected = c.answers[i] == '-' ? arg : c.answers[i] == 'Y';
                EXPECT_EQ(AskBool(ws[i].get(), c.sel, arg), expected);
            }
        }
    }
    const struct {
        const char* sel;
        const char* answers;
    } plain[] = {{"allowRasterSelectionInLayersPage", "NNYN"}, {"prefersLinkageEditor", "NNYN"},
                 {"allowContextChooser", "YYYN"}, {"supportsTextureOnStroke", "NYNN"}};
    for (const auto& c : plain)
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ws[i]->performBoolSelector(sel_registerName(c.sel)), c.answers[i] == 'Y') << c.sel << " " << i;
}

TEST_F(WorkspaceTest, ControllersLiveBetweenStartupAndShutdown) {
    Ref<WorkspaceInfo> ws[] = {New<LayoutWorkspace>(), New<VectorWorkspace>(), New<RasterWorkspace>(), New<DevelopWorkspace>()};
    for (auto& w : ws) {
        SCOPED_TRACE(w->classInfo().name());
        EXPECT_EQ(w->studioController(), nullptr);
        EXPECT_EQ(w->contextMenuController(), nullptr);
        Ref<NSObject> populator(w->keyboardAcceleratorController());
        ASSERT_TRUE(populator);
        w->startup();
        Ref<NSObject> studio(w->studioController()), menus(w->contextMenuController());
        ASSERT_TRUE(studio && menus);
        w->startup();  // again without shutdown: fresh objects, the old ones released
        EXPECT_NE(w->studioController(), studio.get());
        EXPECT_NE(w->contextMenuController(), menus.get());
        EXPECT_EQ(studio->retainCount(), 1);
        EXPECT_EQ(menus->retainCount(), 1);
        w->shutdown();
        EXPECT_EQ(w->studioController(), nullptr);
        EXPECT_EQ(w->contextMenuController(), nullptr);
        EXPECT_EQ(w->keyboardAcceleratorController(), populator.get());
        w->resetMenusAndKeys();
        EXPECT_NE(w->keyboardAcceleratorController(), populator.get());
        EXPECT_EQ(populator->retainCount(), 1);  // only this test holds the old one now
        EXPECT_TRUE(LogHas("WorkspaceInfo::resetMenusAndKeys(" + CallLog::Arg(CallLog::Code{w->kestraneUID()}) + ")"));
    }
}

TEST_F(WorkspaceTest, RefusedBaseInitialiserGivesNoWorkspace) {
    WorkspaceInfo::FailNextInits(1);
    EXPECT_FALSE(New<LayoutWorkspace>());
    WorkspaceInfo::FailNextInits(1);
    EXPECT_FALSE(RasterWorkspace::NewWithToolID(1));
    EXPECT_TRUE(New<LayoutWorkspace>());
}

TEST_F(WorkspaceTest, DevelopShutdownOffersToCommit) {
    auto controller = New<QuirevaleAppController>();
    AppController::setRunningController(controller.get());
    controller->setWorkspacesQuietly(controller->createWorkspaces().get());
    auto* develop = ObjectCast<DevelopWorkspace>(controller->workspaces()->objectAtIndex(3));
    const std::string alert =
        "CocoaUIRunAlertPanel(\"Develop Persona\", \"%@\", \"Develop\", \"Cancel\", nil, \"Please either commit or cancel "
        "the develop operation before switching to another Persona.\")";
    const struct {
        const char* name;
        bool view, document, developTool;
        NSInteger button;
        std::vector<std::string> after;  // what follows the alert
    } cases[] = {
        {"cancel", true, true, true, NSAlertSecondButtonReturn, {}},
        {"commit", true, true, true, NSAlertFirstButtonReturn,
         {"DocumentView::setSingleViewMode()", "DevelopTool::Commit(<DevelopTool 102>)", "DocumentController::GetToolByID(0)",
          "DocumentView::setCurrentTool:(<Tool 0>)", "AppController::setupDefaultWorkspace()"}},
        {"commit without develop tool", true, true, false, NSAlertFirstButtonReturn,
         {"DocumentView::setSingleViewMode()", "DocumentController::GetToolByID(0)", "DocumentView::setCurrentTool:(<Tool 0>)",
          "AppController::setupDefaultWorkspace()"}},
        {"commit without document", true, false, false, NSAlertFirstButtonReturn,
         {"DocumentView::setSingleViewMode()", "AppController::setupDefaultWorkspace()"}},
        {"commit without view", false, false, false, NSAlertFirstButtonReturn, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kernel::Counted<DocumentController> document;
        if (c.document) {
            document = Kernel::MakeCounted<DocumentController>("Raw");
            document->AddTool(Kernel::MakeCounted<Tool>(0));
            if (c.developTool) document->AddTool(Kernel::MakeCounted<DevelopTool>(102));
        }
        controller->setCurrentView(c.view ? New<DocumentView>(document).get() : nullptr);
        controller->setCurrentWorkspaceQuietly(develop);
        NSInteger button = c.button;
        NSSetAlertResponder([button](const NSAlertRequest&) { return button; });
        CallLog::Clear();
        EXPECT_FALSE(develop->canShutdown());
        std::vector<std::string> expected{alert};
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        std::vector<std::string> seen;
        for (auto& e : CallLog::Entries())
            if (e.rfind("NSBundle::", 0) != 0) seen.push_back(e);
        EXPECT_EQ(seen, expected);
        if (document && c.developTool) {
            EXPECT_EQ(document->GetTools()[1]->GetRefCount(), 1);  // the commit's count was given back
        }
    }
}

TEST_F(WorkspaceTest, ProductQuestionsForwardToTheCurrentWorkspace) {
    auto app = New<QuirevaleApp>();
    const char* questions[] = {"exposeHistorySnapshots", "supportsCreateArtboards", "supportGridPlanes", "allowTextRuler",
                               "allowTextFramePanel", "canCreatePathText", "canCreateTextColumns", "allowTableText",
                               "shouldGenerateHistograms", "supportLiveFilters", "preferPixelSelections"};
    auto ask = [&](const char* q) { return app->performBoolSelector(sel_registerName(q)); };
    // No controller: only table text is allowed.
    for (const char* q : questions) EXPECT_EQ(ask(q), std::string(q) == "allowTableText") << q;
    // A controller without a persona: every answer is NO.
    auto controller = New<QuirevaleAppController>();
    app->setAppController(controller.get());
    for (const char* q : questions) EXPECT_FALSE(ask(q)) << q;
    // Each persona's answers; Develop falls back to the defaults.
    controller->setWorkspacesQuietly(controller->createWorkspaces().get());
    const char* answers[] = {/* Layout */ "NNNYYYYYNNN", /* Vector */ "NYYNNYYNNNN", /* Raster */ "YNNNNYYNYYY",
                             /* Develop */ "NNNYYYYYNNN"};
    for (int i = 0; i < 4; ++i) {
        controller->setCurrentWorkspaceQuietly(ObjectCast<WorkspaceInfo>(controller->workspaces()->objectAtIndex(i)));
        for (size_t q = 0; q < std::size(questions); ++q)
            EXPECT_EQ(ask(questions[q]), answers[i][q] == 'Y') << questions[q] << " in workspace " << i;
    }
    // supportLiveFilters passes the framework's answer as the default.
    Application::StandInAnswers().supportLiveFilters = YES;
    EXPECT_TRUE(ask("supportLiveFilters"));
    app->setAppController(nullptr);
}

TEST_F(WorkspaceTest, ProductIdentityAndFixedAnswers) {
    auto app = New<QuirevaleApp>();
    EXPECT_EQ(app->applicationName(), "Quirevale");  // from the bundle's Info values
    const std::string bundle = NSBundle::mainBundle()->bundlePath();
    NSBundle::setMainBundlePath(m_home);  // a bundle without Info values
    EXPECT_EQ(app->applicationName(), "Kestrane Quirevale");
    NSBundle::setMainBundlePath(bundle);
    EXPECT_EQ(app->documentExtension(), "kqvle");
    EXPECT_EQ(app->autoUpdateProductName(), "quirevale2");
    EXPECT_TRUE(app->publicBetaURL()->hasSuffix("/kestrane-mac-quirevale-public-beta-update"));
    EXPECT_TRUE(app->helpURL()->hasSuffix("/quirevale2/resources/html/redirect.html"));
    EXPECT_TRUE(app->tutorialsURL()->hasSuffix("/Quirevale2Tuts"));
    EXPECT_EQ(app->authCallbackUrlScheme(), "kestrane-quirevale2-auth");
    Application::StandInAnswers().isBeta = YES;
    EXPECT_EQ(app->authCallbackUrlScheme(), "kestrane-quirevale2-beta-auth");
    const std::pair<const char*, bool> fixed[] = {
        {"deployToAppStore", false}, {"deployToCustomerBeta", false}, {"deployToPublicBeta", false},
        {"preferMultiSpread", true}, {"supportPreflight", true},      {"allowAdvancedTextFeatures", true},
        {"supportsTableText", true}, {"preferAllowCanvasRotation", false}, {"allowPictureFrames", true},
        {"canHandleCrashes", true},  {"supportsPreviewMode", true},   {"allowDwgImport", true}};
    for (auto [q, v] : fixed) EXPECT_EQ(app->performBoolSelector(sel_registerName(q)), v) << q;
    auto controller = New<QuirevaleAppController>();
    EXPECT_EQ(controller->defaultPageType(), 1);
    EXPECT_FALSE(controller->hasExportPersona());
    EXPECT_TRUE(controller->hasToolPalette());
    auto colour = controller->welcomeScreenBackground();
    EXPECT_DOUBLE_EQ(colour->redComponent(), 0.08);
    EXPECT_DOUBLE_EQ(colour->greenComponent(), 0.5);
    EXPECT_DOUBLE_EQ(colour->blueComponent(), 0.53);
    EXPECT_TRUE(controller->welcomeScreenCheckURL()->absoluteString()->hasSuffix("/quirevale-splash"));
}

}  // namespace
