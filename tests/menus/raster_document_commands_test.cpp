// The pixel menu's document commands that ask the user first (snapshot name sheet, save-with-
// history alert, selection file panels) or that must not act on what is missing (repeat).
#include <fstream>

#include "../app/AppTestSupport.h"
#include "AppKit/NSSavePanel.h"
#include "AppKit/NSSheet.h"
#include "DocSession/PersonaController.h"
#include "DocSession/RasterDocumentCommands.h"
#include "menus/MenuBarRasterController.h"

namespace {

class RasterDocumentCommandsTest : public AppShellTest {
protected:
    void SetUp() override {
        AppShellTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        m_app = New<AppController>();
        AppController::setRunningController(m_app.get());
        m_photo = MakeView("Photo", 3);
        m_app->setCurrentView(m_photo.get());
        m_controller = New<MenuBarRasterController>();
        CallLog::Clear();
    }
    void TearDown() override {
        m_app->setCurrentView(nullptr);
        AppController::setRunningController(nullptr);
        unsetenv("TZ");
        tzset();
        AppShellTest::TearDown();
    }
    static Ref<DocumentView> MakeView(const std::string& name, ToolID tool) {
        auto document = Kernel::MakeCounted<DocumentController>(name);
        document->AddTool(Kernel::MakeCounted<Tool>(tool));
        auto view = New<DocumentView>(document);
        view->setCurrentToolQuietly(Kernel::Counted<Tool>(document->GetTools().front()));
        auto window = New<DocumentWindow>();
        window->setTitle(NSString::from(name).get());
        view->setWindow(window.get());
        return view;
    }
    static DocumentController* Doc(DocumentView* view) { return view->unsafeDocumentController(); }
    void Choose(const char* selector) { m_controller->performSelector(sel_registerName(selector), nullptr); }
    static std::vector<std::string> Queued() { return LogStartingWith("PersonaController::EnqueueCommand"); }

    Ref<AppController> m_app;
    Ref<DocumentView> m_photo;
    Ref<MenuBarRasterController> m_controller;
};

TEST_F(RasterDocumentCommandsTest, SnapshotSheetOffersTodayAndQueuesWhatTheUserConfirms) {
    NSDate::SetNowOverride(1796769986);  // 2026-12-08 22:46:26 UTC
    struct Case {
        const char* country;
        const char* typed;  // null: leave the default
        const char* button;
        const char* defaultName;
        const char* queuedName;  // null: nothing queued
    } cases[] = {
        {"US", nullptr, "OK", "Tuesday, December 8, 2026 at 10:46:26 PM", "Tuesday, December 8, 2026 at 10:46:26 PM"},
        {"GB", nullptr, "OK", "Tuesday, 8 December 2026 at 22:46:26", "Tuesday, 8 December 2026 at 22:46:26"},
        {"US", "Before retouch", "OK", "Tuesday, December 8, 2026 at 10:46:26 PM", "Before retouch"},
        {"US", "", "OK", "Tuesday, December 8, 2026 at 10:46:26 PM", ""},
        {"US", "Ignored", "Cancel", "Tuesday, December 8, 2026 at 10:46:26 PM", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.country) + " " + c.button);
        NSLocale::SetCountryCodeOverride(std::string(c.country));
        CallLog::Clear();
        Choose("addDocumentSnapshot:");
        EXPECT_EQ(CallLog::Entries(),
                  (std::vector<std::string>{
                      "RunInputSheetHelper::initWithMessage:andDescription:inWindow:withDefault:handler:(\"Add Document "
                      "Snapshot\", \"Enter a name for the snapshot\", <DocumentWindow>, \"" +
                          std::string(c.defaultName) + "\", <handler>)",
                      "RunInputSheetHelper::run()"}));
        // The action has returned with the sheet still up.
        ASSERT_NE(NSOpenSheet(), nullptr);
        EXPECT_EQ(NSOpenSheet()->text, c.defaultName);
        if (c.typed) NSSetSheetText(c.typed);
        EXPECT_EQ(NSPressSheetButton(c.button), "");
        EXPECT_EQ(NSOpenSheet(), nullptr);
        if (c.queuedName)
            EXPECT_EQ(Queued(), std::vector<std::string>{"PersonaController::EnqueueCommand(<AddDocumentSnapshotCommand(\"" +
                                                         std::string(c.queuedName) + "\")>, <document \"Photo\">, false)"});
        else
            EXPECT_TRUE(Queued().empty());
    }
}

TEST_F(RasterDocumentCommandsTest, SnapshotGoesToTheDocumentCurrentWhenTheUserConfirms) {
    const std::string sheetOpened =
        "RunInputSheetHelper::initWithMessage:andDescription:inWindow:withDefault:handler:(\"Add Document Snapshot\", "
        "\"Enter a name for the snapshot\", ";
    Ref<DocumentView> other = MakeView("Other", 4);
    struct Case {
        const char* name;
        DocumentView* openedOn;   // current when the item is chosen
        DocumentView* confirmedOn;  // current when the user presses OK
        const char* window;
        const char* document;
    } cases[] = {
        {"same view", m_photo.get(), m_photo.get(), "<DocumentWindow>", "<document \"Photo\">"},
        {"another view became current", m_photo.get(), other.get(), "<DocumentWindow>", "<document \"Other\">"},
        {"opened without a view", nullptr, other.get(), "nil", "<document \"Other\">"},
        {"no view left on confirming", m_photo.get(), nullptr, "<DocumentWindow>", "null"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CallLog::Clear();
        PersonaController::GetInstance()->ResetForTesting();
        m_app->setCurrentView(c.openedOn);
        const long photoCount = Doc(m_photo.get())->GetRefCount();
        Choose("addDocumentSnapshot:");
        ASSERT_EQ(LogStartingWith("RunInputSheetHelper::initWithMessage").size(), 1u);
        EXPECT_EQ(LogStartingWith("RunInputSheetHelper::initWithMessage")[0].rfind(sheetOpened + c.window + ", ", 0), 0u);
        // While the sheet is up nothing holds the document it was opened on.
        EXPECT_EQ(Doc(m_photo.get())->GetRefCount(), photoCount);
        m_app->setCurrentView(c.confirmedOn);
        NSSetSheetText("First");
        ASSERT_EQ(NSPressSheetButton("OK"), "");
        EXPECT_EQ(Queued(), std::vector<std::string>{"PersonaController::EnqueueCommand(<AddDocumentSnapshotCommand("
                                                     "\"First\")>, " +
                                                     std::string(c.document) + ", false)"});
    }
    PersonaController::GetInstance()->ResetForTesting();  // the queue's counts
    EXPECT_EQ(Doc(m_photo.get())->GetRefCount(), 1);
    EXPECT_EQ(Doc(other.get())->GetRefCount(), 1);
}

TEST_F(RasterDocumentCommandsTest, SaveWithHistorySwitchesOffAtOnceAndOnOnlyAfterYes) {
    const std::string alert =
        "CocoaUIRunAlertPanel(\"Saving With History\", \"%@\", \"Yes\", \"No\", nil, \"Enabling \\\"Save With "
        "History\\\" means that anybody you send this document to can see everything you did to create it.\\r\\n\\r\\nDo "
        "you still want to enable \\\"Save With History\\\"?\")";
    struct Case {
        bool savesHistory;
        NSInteger pressed;  // 0: no alert expected
        std::vector<std::string> expected;
    } cases[] = {
        {true, 0,
         {"DocumentController::GetSaveHistory()",
          "PersonaController::EnqueueCommand(<SetSaveHistoryCommand(false)>, <document \"Photo\">, false)"}},
        {false, NSAlertFirstButtonReturn,
         {"DocumentController::GetSaveHistory()", alert,
          "PersonaController::EnqueueCommand(<SetSaveHistoryCommand(true)>, <document \"Photo\">, false)"}},
        {false, NSAlertSecondButtonReturn, {"DocumentController::GetSaveHistory()", alert}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pressed);
        Doc(m_photo.get())->SetSaveHistory(c.savesHistory);
        int alerts = 0;
        NSSetAlertResponder([&](const NSAlertRequest& request) {
            ++alerts;
            EXPECT_EQ(request.buttons[0], "Yes");
            EXPECT_EQ(request.buttons[1], "No");
            EXPECT_EQ(request.buttons[2], "");
            return c.pressed;
        });
        CallLog::Clear();
        Choose("saveWithHistory:");
        EXPECT_EQ(CallLog::Entries(), c.expected);
        EXPECT_EQ(alerts, c.pressed ? 1 : 0);
    }
}

TEST_F(RasterDocumentCommandsTest, RepeatQueuesTheRepeatOfTheLastCommandAndNothingWhenAnythingIsMissing) {
    Doc(m_photo.get())->SetLastRepeatableCommand(Kernel::Counted<DocumentCommand>(new RepeatableCommand("Gaussian Blur")));
    Choose("repeat:");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{
                  "DocumentController::GetLastRepeatableCommand()",
                  "DocumentCommand::CreateRepeatCommand(<RepeatableCommand \"Gaussian Blur\">)",
                  "PersonaController::EnqueueCommand(<RepeatedCommand \"Gaussian Blur\">, <document \"Photo\">, false)"}));

    // A stale menu or a key equivalent can send repeat: and saveWithHistory: when validation
    // would not have let them through: no view, a view without a document, no repeatable command,
    // a command that makes no repeat.
    auto documentless = New<DocumentView>();
    struct Case {
        const char* what;
        DocumentView* view;
        Kernel::Counted<DocumentCommand> last;
        bool withDocument;
    } cases[] = {
        {"no view", nullptr, {}, false},
        {"no document", documentless.get(), {}, false},
        {"no repeatable command", m_photo.get(), {}, true},
        {"no repeat made", m_photo.get(), Kernel::Counted<DocumentCommand>(new RepeatableCommand("Crop", false)), true},
    };
    NSSetAlertResponder([](const NSAlertRequest&) {
        ADD_FAILURE() << "no alert may show";
        return NSAlertFirstButtonReturn;
    });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_app->setCurrentView(c.view);
        Doc(m_photo.get())->SetLastRepeatableCommand(c.last);
        CallLog::Clear();
        Choose("repeat:");
        if (!c.withDocument) Choose("saveWithHistory:");
        EXPECT_TRUE(Queued().empty());
        EXPECT_TRUE(LogStartingWith("CocoaUIRunAlertPanel").empty());
    }
    EXPECT_EQ(PersonaController::GetInstance()->QueuedCommands().size(), 1u);
}

TEST_F(RasterDocumentCommandsTest, SelectionPanelsOfferOnlySelectionFilesAndUseTheViewTheyOpenedOn) {
    char pattern[] = "/tmp/qv-selection-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    const std::string existing = dir + "/mask.kqselection";
    std::ofstream(existing) << "selection";

    Choose("saveSelection:");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{"NSSavePanel::savePanel()", "NSSavePanel::setAllowedFileTypes:([\"kqselection\"])",
                                        "NSSavePanel::setShowsTagField:(NO)",
                                        "NSSavePanel::beginSheetModalForWindow:completionHandler:(<DocumentWindow>)"}));
    // Confirmed after another view became current, and after the first view's tool changed: the
    // first view's tool at the time of confirming.
    Ref<DocumentView> other = MakeView("Other", 4);
    m_app->setCurrentView(other.get());
    m_photo->setCurrentToolQuietly(Kernel::MakeCounted<Tool>(8));
    NSSetSheetText(dir + "/keep");
    CallLog::Clear();
    ASSERT_EQ(NSPressSheetButton("Save"), "");
    EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{"Kestrane::RasterBaseTarget::SaveSelectionAsFile(<Tool 8>, \"" +
                                                           dir + "/keep.kqselection\")"});

    CallLog::Clear();
    Choose("loadSelection:");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{"NSOpenPanel::openPanel()", "NSOpenPanel::setCanChooseFiles:(YES)",
                                        "NSOpenPanel::setCanChooseDirectories:(NO)",
                                        "NSOpenPanel::setAllowsMultipleSelection:(NO)",
                                        "NSOpenPanel::setAllowedFileTypes:([\"kqselection\"])",
                                        "NSOpenPanel::beginSheetModalForWindow:completionHandler:(<DocumentWindow>)"}));
    CallLog::Clear();
    NSSetSheetText(dir + "/missing.kqselection");
    EXPECT_EQ(NSPressSheetButton("Open"), "there is no file \"" + dir + "/missing.kqselection\"");
    NSSetSheetText(dir);
    EXPECT_NE(NSPressSheetButton("Open"), "");  // a folder is not a selection file
    NSSetSheetText(existing);
    ASSERT_EQ(NSPressSheetButton("Open"), "");
    EXPECT_EQ(CallLog::Entries(),
              std::vector<std::string>{"Kestrane::RasterBaseTarget::LoadSelectionFromFile(<Tool 4>, \"" + existing + "\")"});

    // Cancelled panels call nothing.
    for (const char* selector : {"saveSelection:", "loadSelection:"}) {
        Choose(selector);
        NSSetSheetText(existing);
        CallLog::Clear();
        ASSERT_EQ(NSPressSheetButton("Cancel"), "");
        EXPECT_TRUE(CallLog::Entries().empty()) << selector;
    }
    // The panels gave back the view they held.
    EXPECT_EQ(m_photo->retainCount(), 1);

    // Without a view neither panel opens.
    m_app->setCurrentView(nullptr);
    CallLog::Clear();
    Choose("saveSelection:");
    Choose("loadSelection:");
    EXPECT_TRUE(CallLog::Entries().empty());
    EXPECT_EQ(NSOpenSheet(), nullptr);
    std::string cmd = "rm -rf '" + dir + "'";
    [[maybe_unused]] int rc = std::system(cmd.c_str());
}

TEST_F(RasterDocumentCommandsTest, FocalPointToolAndExportCubeNeedAViewOrWindow) {
    Doc(m_photo.get())->AddTool(Kernel::MakeCounted<Tool>(5));
    Choose("setTransformFocalPoint:");
    Choose("exportCube:");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{"DocumentController::GetToolByID(5)", "DocumentView::setCurrentTool:(<Tool 5>)",
                                        "DocumentWindow::showExportCubePanel(<DocumentWindow \"Photo\">)"}));

    // A document without tool 5 gets an empty tool made current.
    Ref<DocumentView> other = MakeView("Other", 4);
    m_app->setCurrentView(other.get());
    CallLog::Clear();
    Choose("setTransformFocalPoint:");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{"DocumentController::GetToolByID(5)", "DocumentView::setCurrentTool:(null)"}));

    m_app->setCurrentView(nullptr);
    CallLog::Clear();
    Choose("setTransformFocalPoint:");
    Choose("exportCube:");
    EXPECT_TRUE(CallLog::Entries().empty());
}

}  // namespace
