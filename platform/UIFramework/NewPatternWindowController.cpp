#include "UIFramework/NewPatternWindowController.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(NewPatternWindowController, NSWindowController) {
    c.method("create:", &NewPatternWindowController::create);
    c.method("cancel:", &NewPatternWindowController::cancel);
}

NSObject* NewPatternWindowController::init() {
    if (!NSWindowController::init()) return nullptr;
    CallLog::Call("NewPatternWindowController::init");
    auto window = New<NSWindow>();
    window->setTitle(NSString::from("New Pattern Layer").get());
    window->addButton("Create", QV_SELECTOR(create:));
    window->addButton("Cancel", QV_SELECTOR(cancel:));
    window->setUnansweredButton(1);
    setWindow(window.get());
    return this;
}

void NewPatternWindowController::create(NSObject*) { CallLog::Call("NewPatternWindowController::create:"); }
void NewPatternWindowController::cancel(NSObject*) { CallLog::Call("NewPatternWindowController::cancel:"); }
