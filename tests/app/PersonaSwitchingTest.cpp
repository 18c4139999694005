// Persona actions: entry checks and their alerts, conditional switches, menu validation.
#include "AppTestSupport.h"
#include "StringsBundle.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/RasterBaseTarget.h"
#include "app/CommonSharedCommandController.h"
#include "app/DevelopWorkspace.h"
#include "app/LayoutWorkspace.h"
#include "app/PersonaCodes.h"
#include "app/QuirevaleAppController.h"
#include "app/RasterWorkspace.h"
#include "app/VectorWorkspace.h"

namespace {

std::string Alert(const std::string& title, const std::string& message, const std::string& button = "Dismiss") {
    return "CocoaUIRunAlertPanel(\"" + title + "\", \"%@\", \"" + button + "\", nil, nil, \"" + message + "\")";
}

class PersonaSwitchingTest : public AppShellTest {
protected:
    void SetUp() override {
        AppShellTest::SetUp();
        m_controller = New<QuirevaleAppController>();
        AppController::setRunningController(m_controller.get());
        m_controller->setWorkspacesQuietly(m_controller->createWorkspaces().get());
        m_controller->setCurrentWorkspaceQuietly(Workspace(0));
        m_document = Kernel::MakeCounted<DocumentController>("Doc");
        m_view = New<DocumentView>(m_document);
        m_controller->setCurrentView(m_view.get());
        m_commands = New<CommonSharedCommandController>();
        CallLog::Clear();
    }
    void TearDown() override {
        m_view = nullptr;
        m_commands = nullptr;
        m_controller = nullptr;
        AppShellTest::TearDown();
    }
    WorkspaceInfo* Workspace(size_t i) { return ObjectCast<WorkspaceInfo>(m_controller->workspaces()->objectAtIndex(i)); }
    Ref<NSMenuItem> Item(const char* action) {
        auto item = New<NSMenuItem>();
        item->initWithTitle(NSString::from("item").get(), sel_registerName(action), nullptr);
        return item;
    }

    Ref<QuirevaleAppController> m_controller;
    Kernel::Counted<DocumentController> m_document;
    Ref<DocumentView> m_view;
    Ref<CommonSharedCommandController> m_commands;
};

TEST_F(PersonaSwitchingTest, EntryCheckResultGivesSwitchAlertOrNothing) {
    const std::string liquify = "Liquify Persona", develop = "Develop Persona", tone = "Tone Mapping Persona";
    const struct {
        const char* action;
        int code;
        bool recording;
        std::vector<std::string> alerts;
        const char* switchTo;  // nullptr: no switch
    } cases[] = {
        {"liquifyPersona:", 0, false,
         {Alert(liquify, "Please select Pixel or Mask layers, or a single Image or RAW layer, before entering Liquify.")}, nullptr},
        {"liquifyPersona:", 1, false, {}, "'liqu'"},
        {"liquifyPersona:", 2, false, {Alert(liquify, "Please rasterise the current layer before entering Liquify.")}, nullptr},
        {"liquifyPersona:", 3, false,
         {Alert(liquify, "Please select one or more non-Pixel layers and rasterise them before entering Liquify.")}, nullptr},
        {"liquifyPersona:", 4, false, {}, nullptr},
        {"liquifyPersona:", -1, false, {}, nullptr},
        {"developPersona:", 0, false,
         {Alert(develop, "Please select Pixel or RAW layers, or a single Image layer, before entering Develop.")}, nullptr},
        {"developPersona:", 1, false, {}, "'deve'"},
        {"developPersona:", 2, false, {}, nullptr},
        {"developPersona:", 3, false, {Alert(develop, "Please rasterise the current layer before entering Develop.")}, nullptr},
        {"developPersona:", 4, false, {Alert(develop, "Please rasterise the selected layers before entering Develop.")}, nullptr},
        {"developPersona:", 5, false, {}, nullptr},
        {"HDRPersona:", 0, false,
         {Alert(tone, "Please select a single Pixel, Image or RAW layer before entering Tone Mapping.")}, nullptr},
        {"HDRPersona:", 1, false, {}, "'hdr '"},
        {"HDRPersona:", 2, false, {Alert(tone, "Please rasterise the current layer before entering Tone Mapping.")}, nullptr},
        {"HDRPersona:", 3, false,
         {Alert(tone, "Please select a single layer and rasterise it before entering Tone Mapping.")}, nullptr},
        {"HDRPersona:", 4, false, {}, nullptr},
        // While a macro is recorded: the macro alert first, then the code's own; never a switch.
        {"HDRPersona:", 1, true, {Alert(tone, "Please end your macro recording session before using Tone Mapping.")}, nullptr},
        {"HDRPersona:", 0, true,
         {Alert(tone, "Please end your macro recording session before using Tone Mapping."),
          Alert(tone, "Please select a single Pixel, Image or RAW layer before entering Tone Mapping.")}, nullptr},
        {"HDRPersona:", 4, true, {Alert(tone, "Please end your macro recording session before using Tone Mapping.")}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " code " + std::to_string(c.code) + (c.recording ? " recording" : ""));
        m_controller->setCurrentWorkspaceQuietly(Workspace(0));
        m_document->SetRecordingMacro(c.recording);
        auto& answers = Kestrane::RasterBaseTarget::StandInAnswers();
        answers.canEnterLiquify = answers.canEnterDevelop = answers.canEnterToneMap = c.code;
        const long countBefore = m_document->GetRefCount();
        CallLog::Clear();

        m_commands->performSelector(sel_registerName(c.action), nullptr);

        EXPECT_EQ(LogStartingWith("CocoaUIRunAlertPanel("), c.alerts);
        auto switches = LogStartingWith("AppController::setupWorkspaceByUID:");
        if (c.switchTo) {
            EXPECT_EQ(switches, std::vector<std::string>{std::string("AppController::setupWorkspaceByUID:(") + c.switchTo + ")"});
        } else {
            EXPECT_TRUE(switches.empty());
        }
        // The check ran once, on the current document, and every count taken was given back.
        EXPECT_EQ(LogStartingWith("Kestrane::RasterBaseTarget::CanEnter").size(), 1u);
        EXPECT_EQ(m_document->GetRefCount(), countBefore);
    }
}

// Each text of an alert is looked up in its own context: one filed under another shows untranslated.
TEST_F(PersonaSwitchingTest, AlertTextsAreTranslatedInTheirOwnContexts) {
    const std::string message = "Please rasterise the current layer before entering Liquify.";
    using B = ScopedStringsBundle;
    B bundle({{B::Key("Dismiss", "Alert - Dismiss - Button"), "Close"},
              {B::Key("Liquify Persona", "Liquify Persona"), "Melt"},
              {B::Key(message, "Alert - Rasterise RGB raster layer liquify"), "Rasterise first."}});
    Kestrane::RasterBaseTarget::StandInAnswers().canEnterLiquify = 2;
    m_commands->liquifyPersona(nullptr);
    EXPECT_EQ(LogStartingWith("CocoaUIRunAlertPanel("), std::vector<std::string>{Alert("Melt", "Rasterise first.", "Close")});
}

TEST_F(PersonaSwitchingTest, EntryCheckRunsWithANullDocumentWhenThereIsNone) {
    m_controller->setCurrentView(nullptr);
    Kestrane::RasterBaseTarget::StandInAnswers().canEnterLiquify = 1;
    m_commands->liquifyPersona(nullptr);
    EXPECT_TRUE(LogContainsInOrder({"Kestrane::RasterBaseTarget::CanEnterLiquify(null)",
                                    "AppController::setupWorkspaceByUID:('liqu')"}));
}

TEST_F(PersonaSwitchingTest, RefusedShutdownStopsBeforeTheEntryCheck) {
    // The Develop workspace asks the user; Cancel leaves it current.
    m_controller->setCurrentWorkspaceQuietly(Workspace(3));
    NSSetAlertResponder([](const NSAlertRequest&) { return NSAlertSecondButtonReturn; });
    for (const char* action : {"liquifyPersona:", "layoutPersona:", "exportPersona:"}) {
        SCOPED_TRACE(action);
        CallLog::Clear();
        m_commands->performSelector(sel_registerName(action), nullptr);
        EXPECT_EQ(LogStartingWith("CocoaUIRunAlertPanel(").size(), 1u);
        EXPECT_TRUE(LogStartingWith("Kestrane::RasterBaseTarget::").empty());
        EXPECT_TRUE(LogStartingWith("AppController::setupWorkspaceByUID:").empty());
        EXPECT_EQ(m_controller->currentWorkspace(), Workspace(3));
    }
}

TEST_F(PersonaSwitchingTest, PlainSwitchesGoThroughTheFramework) {
    const struct {
        const char* action;
        std::string entry;
    } cases[] = {{"exportPersona:", "AppController::setupWorkspaceByUID:('expo')"},
                 {"technicalPersona:", "AppController::setupWorkspaceByUID:('tech')"},
                 {"pixelPersona:", "AppController::setupWorkspaceByUID:('pixe')"},
                 {"layoutPersona:", "AppController::setupWorkspaceByUID:('layo')"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        CallLog::Clear();
        m_commands->performSelector(sel_registerName(c.action), nullptr);
        EXPECT_EQ(LogStartingWith("AppController::setupWorkspaceByUID:"), std::vector<std::string>{c.entry});
    }
    // The technical code is read when the action runs.
    uint32_t saved = Kestrane::TechnicalPersona::Id;
    Kestrane::TechnicalPersona::Id = FourCharCode("tec2");
    CallLog::Clear();
    m_commands->technicalPersona(nullptr);
    Kestrane::TechnicalPersona::Id = saved;
    EXPECT_TRUE(LogHas("AppController::setupWorkspaceByUID:('tec2')"));
}

TEST_F(PersonaSwitchingTest, ConditionalSwitchAsksTheEnginePersonas) {
    auto* engine = Kestrane::Application::Current();
    const struct {
        const char* name;
        bool vectorExists, currentCanBeLeft, vectorCanBeEntered;
        std::vector<std::string> expected;
    } cases[] = {
        {"no engine persona", false, true, true, {"Kestrane::Application::GetPersonaFromId('vect')"}},
        {"current refuses", true, false, true,
         {"Kestrane::Application::GetPersonaFromId('vect')", "Kestrane::Application::GetCurrentPersona()",
          "Kestrane::Persona::CanBeLeft('layo')"}},
        {"target refuses", true, true, false,
         {"Kestrane::Application::GetPersonaFromId('vect')", "Kestrane::Application::GetCurrentPersona()",
          "Kestrane::Persona::CanBeLeft('layo')", "Kestrane::Persona::CanBeEntered('vect')"}},
        {"switch", true, true, true,
         {"Kestrane::Application::GetPersonaFromId('vect')", "Kestrane::Application::GetCurrentPersona()",
          "Kestrane::Persona::CanBeLeft('layo')", "Kestrane::Persona::CanBeEntered('vect')",
          "Kestrane::Application::SetCurrentPersona(<persona 'vect'>, true)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine->ResetForTesting();
        AppController::setRunningController(m_controller.get());  // re-attach to the reset engine
        m_controller->setCurrentWorkspaceQuietly(Workspace(0));
        if (!c.vectorExists) engine->RemovePersona(PersonaCode::Vector);
        else engine->FindPersona(PersonaCode::Vector)->m_answerCanBeEntered = c.vectorCanBeEntered;
        engine->FindPersona(PersonaCode::Layout)->m_answerCanBeLeft = c.currentCanBeLeft;
        CallLog::Clear();
        m_commands->drawPersona(nullptr);
        EXPECT_EQ(LogStartingWith("Kestrane::"), c.expected);
    }
    // After the switch the framework follows the engine to the Drovanel workspace.
    EXPECT_EQ(m_controller->currentWorkspace(), Workspace(1));
    // Every count taken on the personas was given back.
    EXPECT_EQ(engine->FindPersona(PersonaCode::Vector)->GetRefCount(), 2);  // the engine's table and its current
}

TEST_F(PersonaSwitchingTest, MenuValidationMarksTheCurrentPersonaAndHidesUnsupportedOnes) {
    m_controller->setSupportedWorkspaces(std::set<uint32_t>{PersonaCode::Layout, PersonaCode::Vector, PersonaCode::Raster,
                                                            PersonaCode::Develop, PersonaCode::Liquify});
    const struct {
        const char* action;
        NSInteger state;
        BOOL hidden;
    } cases[] = {
        {"layoutPersona:", NSControlStateValueOn, NO},   {"drawPersona:", NSControlStateValueOff, NO},
        {"tavikPersona:", NSControlStateValueOff, NO},   {"developPersona:", NSControlStateValueOff, NO},
        {"liquifyPersona:", NSControlStateValueOff, NO}, {"HDRPersona:", NSControlStateValueOff, YES},
        {"exportPersona:", NSControlStateValueOff, YES}, {"pixelPersona:", NSControlStateValueOff, YES},
        {"technicalPersona:", NSControlStateValueOff, YES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        auto item = Item(c.action);
        item->setState(NSControlStateValueMixed);
        EXPECT_TRUE(m_commands->validateMenuItem(item.get()));
        EXPECT_EQ(item->state(), c.state);
        EXPECT_EQ(item->isHidden(), c.hidden);
    }
}

TEST_F(PersonaSwitchingTest, DevelopItemIsHiddenUnlessTheEngineHasAUserPersona) {
    auto* engine = Kestrane::Application::Current();
    const struct {
        const char* name;
        bool present, user, supported;
        BOOL hidden;
        bool asksSupport;
    } cases[] = {
        {"user persona, supported", true, true, true, NO, true},
        {"user persona, unsupported", true, true, false, YES, true},
        {"not a user persona", true, false, true, YES, false},
        {"no engine persona", false, true, true, YES, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        engine->ResetForTesting();
        if (!c.present) engine->RemovePersona(PersonaCode::Develop);
        else engine->FindPersona(PersonaCode::Develop)->m_isUserPersona = c.user;
        m_controller->setSupportedWorkspaces(c.supported ? std::set<uint32_t>{PersonaCode::Develop} : std::set<uint32_t>{});
        CallLog::Clear();
        auto item = Item("developPersona:");
        EXPECT_TRUE(m_commands->validateMenuItem(item.get()));
        EXPECT_EQ(item->isHidden(), c.hidden);
        EXPECT_EQ(LogHas("AppController::supportsWorkspace:('deve')"), c.asksSupport);
        if (c.present) {
            EXPECT_EQ(engine->FindPersona(PersonaCode::Develop)->GetRefCount(), 1);
        }
    }
}

TEST_F(PersonaSwitchingTest, OtherItemsFollowTheMainWindowAndToolbarItemsAreAlwaysEnabled) {
    for (BOOL visible : {YES, NO}) {
        m_controller->setMainWindowVisible(visible);
        auto item = Item("addRasterLayer:");
        item->setState(NSControlStateValueMixed);
        EXPECT_EQ(m_commands->validateMenuItem(item.get()), visible);
        EXPECT_EQ(item->state(), NSControlStateValueMixed);  // left alone
        EXPECT_FALSE(item->isHidden());
    }
    EXPECT_TRUE(m_commands->validateToolbarControlItem(nullptr, 7));
    AppController::setRunningController(nullptr);
    EXPECT_FALSE(m_commands->validateMenuItem(Item("addRasterLayer:").get()));
}

TEST_F(PersonaSwitchingTest, SelectorFilterAsksTheFrameworkOnlyForPersonaActions) {
    m_controller->setSupportedWorkspaces(std::set<uint32_t>{PersonaCode::ToneMapping});
    EXPECT_TRUE(m_controller->isSelectorAllowed(QV_SELECTOR(addRasterLayer:)));
    EXPECT_TRUE(CallLog::Entries().empty());
    EXPECT_TRUE(m_controller->isSelectorAllowed(QV_SELECTOR(HDRPersona:)));
    EXPECT_TRUE(LogHas("AppController::supportsWorkspace:('hdr ')"));
    EXPECT_FALSE(m_controller->isSelectorAllowed(QV_SELECTOR(liquifyPersona:)));
}

}  // namespace
