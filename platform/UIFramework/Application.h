// The framework's application class: one code base, many products; each product subclasses it.
#pragma once
#include "AppKit/NSApplication.h"
#include "UIFramework/AppController.h"

class Application : public NSApplication {
    QV_OBJECT(Application)
public:
    // The designated initialiser: tells the framework and the engine which product this is.
    Application* initForProduct(int product);
    int product() const { return m_product; }

    // The product's application controller; the framework keeps what it answers.
    virtual Ref<AppController> createAppController() { return nullptr; }
    AppController* appController() const { return m_appController.get(); }

    // The framework's own answers to configuration questions that products may override.
    virtual BOOL supportLiveFilters();
    virtual BOOL supportsCapsLockToolCursors();
    virtual BOOL prefersCollectedDuplicateNodes();
    virtual BOOL supportsCrossReferences();
    virtual BOOL supportsEPUBExport();
    static BOOL isBeta();
    static Ref<NSString> compatibleQuirevaleReleaseApp();

    // The start-up chain: the controller, its initialise, the workspaces, the default one started.
    void finishLaunching() override;
    void terminate() override;
    // Actions without a target go to the current workspace, then the controller, then here.
    NSObject* targetForAction(SEL action) override;
    // Headless events for the stand-ins: "newdocument [name]", "closedocument", "set <answer> <value>"
    // (engine answers, and the current document's SaveHistory and LastRepeatableCommand),
    // "context [kind]" and the text and selection set-up of TextHostEvents.h.
    // "tool <id>": the user picks a tool on the current view.
    BOOL handleHostEvent(const std::vector<std::string>& words) override;
    std::string whyHostEventRefused(const std::vector<std::string>& words) override;
    // Hands the key to the current persona's shortcut controller; what it did is recorded.
    BOOL sendKeyEvent(NSString* characters, NSUInteger modifierFlags) override;

    // Stand-in answers of the framework.
    struct Answers {
        BOOL supportLiveFilters = NO;
        BOOL supportsCapsLockToolCursors = YES;
        BOOL prefersCollectedDuplicateNodes = NO;
        BOOL supportsCrossReferences = YES;
        BOOL supportsEPUBExport = YES;
        BOOL isBeta = NO;
    };
    static Answers& StandInAnswers();
    // Gives the application a controller without the start-up chain (tests).
    void setAppController(AppController* controller);

private:
    int m_product = 0;
    Ref<AppController> m_appController;
};

// Every stand-in back to its state at process start: engine, framework, AppKit state and call log.
void ResetStandIns();
