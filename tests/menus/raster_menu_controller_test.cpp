// The pixel menu controller's actions where the tables alone cannot show the rule: which tool a
// lookup finds, what a record holds while the engine has it, what an engine failure leaves.
#include <gtest/gtest.h>

#include <stdexcept>

#include "AppKit/AppKit.h"
#include "DocSession/CallLog.h"
#include "DocSession/RasterBaseTarget.h"
#include "DocSession/RecordPrinter.h"
#include "UIFramework/UIFramework.h"
#include "menu_test_support.h"
#include "menus/MenuBarRasterController.h"

namespace {

class DerivedGaussianTool : public GaussianTool {
public:
    using GaussianTool::GaussianTool;
    const char* GetClassName() const override { return "DerivedGaussianTool"; }
};

class RasterMenuControllerTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        m_menu = New<MenuBarRasterController>();
        CallLog::Clear();
    }

    // A view on a document with these tools; the current tool is a plain tool 7.
    void Open(std::vector<Kernel::Counted<Tool>> tools) {
        m_document = Kernel::MakeCounted<DocumentController>("Test");
        for (auto& t : tools) m_document->AddTool(t);
        m_view = New<DocumentView>(m_document);
        m_current = Kernel::MakeCounted<Tool>(7);
        m_view->setCurrentToolQuietly(m_current);
        m_appController->setCurrentView(m_view.get());
    }

    Ref<MenuBarRasterController> m_menu;
    Kernel::Counted<DocumentController> m_document;
    Ref<DocumentView> m_view;
    Kernel::Counted<Tool> m_current;
};

TEST_F(RasterMenuControllerTest, ToolLookupFindsTheEarliestToolOfTheClassOrOfADerivedClass) {
    auto derived = Kernel::MakeCounted<DerivedGaussianTool>(1);
    auto plain = Kernel::MakeCounted<GaussianTool>(2);
    Open({Kernel::Counted<Tool>(), Kernel::MakeCounted<MedianTool>(3), derived, plain});
    m_menu->gaussianBlur(nullptr);
    EXPECT_EQ(m_view->currentTool().Get(), derived.Get());
    // A document without the class: the view is sent the empty handle.
    m_menu->lensBlur(nullptr);
    EXPECT_FALSE(m_view->currentTool());
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"DocumentView::setCurrentTool:(<DerivedGaussianTool 1>)",
                                                            "DocumentView::setCurrentTool:(null)"}));
    // Dragging changes nothing for the tools.
    m_view->setDragging(YES);
    m_menu->medianBlur(nullptr);
    EXPECT_EQ(m_view->currentTool()->GetToolID(), 3);
}

TEST_F(RasterMenuControllerTest, RefineSelectionClearsTheMaskFlagEveryTimeItFindsTheTool) {
    auto refine = Kernel::MakeCounted<RefineSelectionTool>(9);
    Open({refine});
    for (int i = 0; i < 2; ++i) m_menu->refineSelection(nullptr);  // the second time it is current already
    EXPECT_EQ(refine->SetRefiningMaskCalls(), 2);
    EXPECT_FALSE(refine->GetRefiningMask());
    EXPECT_EQ(m_view->currentTool().Get(), refine.Get());

    Open({Kernel::MakeCounted<Tool>(1)});
    CallLog::Clear();
    m_menu->refineSelection(nullptr);
    EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{"DocumentView::setCurrentTool:(null)"});
}

TEST_F(RasterMenuControllerTest, TheSixCurvesShareOneSplineCountedOncePerHandle) {
    Open({});
    long during = -1;
    bool same = false;
    Kestrane::RasterBaseTarget::StandInParamsObserver() = [&](std::string_view entry, const void* params) {
        ASSERT_EQ(entry, "EnqueueAddCurvesAdjustmentRasterNodeWithTool");
        const auto& p = *static_cast<const Raster::Curves::Params*>(params);
        same = true;
        for (auto& s : p.splines) same = same && s.Get() == p.splines[0].Get();
        during = p.splines[0]->GetRefCount();
    };
    long before = Geometry::Spline::Live();
    m_menu->addCurvesAdjustmentRasterLayer(nullptr);
    EXPECT_TRUE(same);
    EXPECT_EQ(during, 6);
    EXPECT_EQ(Geometry::Spline::Live(), before);
}

TEST_F(RasterMenuControllerTest, EveryCallBuildsItsOwnRecordAndGivesItBack) {
    Open({});
    std::vector<long> cubesDuring, gradientsDuring;
    Kestrane::RasterBaseTarget::StandInParamsObserver() = [&](std::string_view entry, const void*) {
        if (entry == "EnqueueAddLUT3DAdjustmentRasterNodeWithTool") cubesDuring.push_back(Raster::ColourCubeRGB::Live());
        else gradientsDuring.push_back(Gradient::Live());
    };
    long cubes = Raster::ColourCubeRGB::Live(), gradients = Gradient::Live();
    for (int i = 0; i < 2; ++i) {
        m_menu->addLUT3DAdjustmentRasterLayer(nullptr);
        m_menu->addGradientMapAdjustmentRasterLayer(nullptr);
    }
    // One cube and one gradient while each call runs, none left between calls.
    EXPECT_EQ(cubesDuring, (std::vector<long>{cubes + 1, cubes + 1}));
    EXPECT_EQ(gradientsDuring, (std::vector<long>{gradients + 1, gradients + 1}));
    EXPECT_EQ(Raster::ColourCubeRGB::Live(), cubes);
    EXPECT_EQ(Gradient::Live(), gradients);
}

TEST_F(RasterMenuControllerTest, AnEngineFailurePassesOnWithoutThePanelAndWithEveryCountGivenBack) {
    Open({});
    Kestrane::RasterBaseTarget::StandInParamsObserver() = [](std::string_view, const void*) {
        throw std::runtime_error("engine failure");
    };
    long tool = m_current->GetRefCount(), view = m_view->retainCount(), document = m_document->GetRefCount();
    long splines = Geometry::Spline::Live();
    EXPECT_THROW(m_menu->addCurvesAdjustmentRasterLayer(nullptr), std::runtime_error);
    EXPECT_THROW(m_menu->addChannelMixerAdjustmentRasterLayer(nullptr), std::runtime_error);
    for (auto& e : CallLog::Entries()) EXPECT_EQ(e.find("showAdjustmentsPanel"), std::string::npos) << e;
    EXPECT_EQ(m_current->GetRefCount(), tool);
    EXPECT_EQ(m_view->retainCount(), view);
    EXPECT_EQ(m_document->GetRefCount(), document);
    EXPECT_EQ(Geometry::Spline::Live(), splines);
}

TEST_F(RasterMenuControllerTest, ThePatternDialogEndsBeforeTheActionReturnsAndIsLetGo) {
    int asked = 0;
    NSSetAlertResponder([&](const NSAlertRequest& request) -> NSInteger {
        ++asked;
        EXPECT_EQ(request.title, "New Pattern Layer");
        EXPECT_EQ(request.buttons[1], "Cancel");
        EXPECT_EQ(request.unanswered, 1);
        return NSAlertSecondButtonReturn;
    });
    // No view is needed, nor asked for.
    CallLog::Clear();
    m_menu->addPatternRasterLayer(nullptr);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(CallLog::Entries().back(), "NewPatternWindowController::cancel:()");

    // An answer that names no button presses the window's unanswered one; a window without
    // buttons ends at once.
    auto window = New<NSWindow>();
    window->addButton("OK", nullptr);
    window->setUnansweredButton(5);  // more than it has: its last
    NSSetAlertResponder([](const NSAlertRequest&) -> NSInteger { return 5000; });
    EXPECT_EQ(m_app->runModalForWindow(window.get()), NSAlertFirstButtonReturn);
    EXPECT_EQ(m_app->runModalForWindow(New<NSWindow>().get()), NSModalResponseAbort);
}

TEST_F(RasterMenuControllerTest, TheMenuResourceConnectsTheSeparatorBesideRepeat) {
    Ref<NSArray> objects = LoadRasterMenu();
    ASSERT_TRUE(objects);
    MenuBarRasterController* controller = nullptr;
    for (auto& o : objects->items())
        if (auto* c = ObjectCast<MenuBarRasterController>(o.get())) controller = c;
    ASSERT_TRUE(controller);
    NSMenuItem* separator = controller->secretSeparator();
    ASSERT_TRUE(separator);
    EXPECT_TRUE(separator->isSeparatorItem());
    ASSERT_TRUE(separator->menu());
    EXPECT_EQ(separator->menu()->title()->utf8(), "Edit");

    // An item connected to an outlet its object does not have is a broken resource.
    EXPECT_FALSE(LoadNibFromText("object c MenuBarRasterController\nmenu - \"M\"\n  separator outlet=c.noSuchOutlet\nend\n",
                                 "bad.nib", nullptr, &objects));
    EXPECT_FALSE(objects);
    EXPECT_FALSE(LoadNibFromText("menu - \"M\"\n  separator outlet=nobody.m_secretSeparator\nend\n", "bad.nib", nullptr,
                                 &objects));
}

TEST(RecordPrinterTest, NumbersPrintInTheirShortestExactForm) {
    EXPECT_EQ(CallLog::Number(2.2f), "2.2");
    EXPECT_EQ(CallLog::Number(0.5f), "0.5");
    EXPECT_EQ(CallLog::Number(-1.0), "-1");
    EXPECT_EQ(CallLog::Number(0.0f), "0");
    EXPECT_EQ(CallLog::Number(315.0f), "315");
    EXPECT_EQ(CallLog::Number(0.1), "0.1");
    EXPECT_EQ(CallLog::Number(1.0 / 3.0), "0.3333333333333333");
}

}  // namespace
