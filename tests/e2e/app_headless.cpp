// The interactive application run as a process: events on standard input, what it did on
// standard output.
#include "headless_app_support.h"

namespace {

std::string Alert(const std::string& title, const std::string& message, const std::string& buttons = "\"Dismiss\", nil") {
    return "CocoaUIRunAlertPanel(\"" + title + "\", \"%@\", " + buttons + ", nil, \"" + message + "\")";
}

TEST_F(HeadlessAppTest, ScriptedSessionSwitchesPersonasAndShowsTheEntryAlerts) {
    AppRun run = RunApp(
        "# a scripted session\n"
        "menu tavikPersona:\n"
        "set CanEnterLiquify 2\n"
        "menu liquifyPersona:\n"
        "set CanEnterToneMap 3\n"
        "menu HDRPersona:\n"
        "newdocument Photo\n"
        "set CanEnterDevelop 4\n"
        "menu developPersona:\n"
        "set CanEnterDevelop 1\n"
        "menu developPersona:\n"
        "menu layoutPersona:\n"
        "answer Cancel\n"
        "menu layoutPersona:\n"
        "answer Develop\n"
        "menu noSuchAction:\n");
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> alerts = Starting(run, "CocoaUIRunAlertPanel(");
    const std::string develop = Alert("Develop Persona",
                                      "Please either commit or cancel the develop operation before switching to another Persona.",
                                      "\"Develop\", \"Cancel\"");
    EXPECT_EQ(alerts, (std::vector<std::string>{
                          Alert("Liquify Persona", "Please rasterise the current layer before entering Liquify."),
                          Alert("Tone Mapping Persona",
                                "Please select a single layer and rasterise it before entering Tone Mapping."),
                          Alert("Develop Persona", "Please rasterise the selected layers before entering Develop."),
                          develop,
                          develop,
                      }));
    EXPECT_EQ(Starting(run, "Kestrane::Application::SetCurrentPersona"),
              std::vector<std::string>{"Kestrane::Application::SetCurrentPersona(<persona 'rast'>, true)"});
    EXPECT_EQ(Starting(run, "AppController::setupWorkspaceByUID:"),
              std::vector<std::string>{"AppController::setupWorkspaceByUID:('deve')"});
    // Cancel kept the Develop persona; Develop committed and went back to the default persona.
    EXPECT_EQ(Starting(run, "DevelopTool::Commit").size(), 1u);
    EXPECT_EQ(Starting(run, "AppController::setupDefaultWorkspace()").size(), 1u);
    EXPECT_EQ(run.out.back(), "AppController::shutDown()");
    // One notice that there is no graphical interface, and one for the unknown action.
    size_t notices = 0;
    for (size_t at = run.err.find("no graphical interface"); at != std::string::npos;
         at = run.err.find("no graphical interface", at + 1))
        ++notices;
    EXPECT_EQ(notices, 1u);
    EXPECT_NE(run.err.find("noSuchAction:"), std::string::npos);
}

TEST_F(HeadlessAppTest, StartupWritesTheDocumentSizeOfTheCountry) {
    const struct {
        const char* lang;
        const char* expected;
    } cases[] = {{"en_US.UTF-8", "48"}, {"en_GB.UTF-8", "41"}, {"C", "41"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        AppRun run = RunApp("", c.lang);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(Starting(run, "NSUserDefaults::setInteger:forKey:"),
                  std::vector<std::string>{std::string("NSUserDefaults::setInteger:forKey:(") + c.expected +
                                           ", \"DocumentDefaultSize\")"});
        EXPECT_EQ(Starting(run, "WorkspaceInfo::initWithID:name:menu:tool:").size(), 4u);
        EXPECT_EQ(run.out.front(), "Application::initForProduct:(9)");
    }
}

TEST_F(HeadlessAppTest, AToneMappingSwitchWhileRecordingShowsOnlyTheMacroAlert) {
    AppRun run = RunApp("newdocument Clip\nset IsRecordingMacro true\nset CanEnterToneMap 1\nmenu HDRPersona:\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "CocoaUIRunAlertPanel("),
              std::vector<std::string>{
                  Alert("Tone Mapping Persona", "Please end your macro recording session before using Tone Mapping.")});
    EXPECT_TRUE(Starting(run, "AppController::setupWorkspaceByUID:").empty());
}

}  // namespace
