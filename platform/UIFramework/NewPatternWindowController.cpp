#include "UIFramework/NewPatternWindowController.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(NewPatternWindowController, NSWindowController) {
    c.method("create:", &NewPatternWindowController::create);
    c.method("cancel:", &NewPatternWindowController::cancel);
}

NSObject* NewPatternWindowController::init() {
    if (!NSWindowController::init()) return nullptr;
    CallLog::Call("NewPatternWindowController::init");
    setDialogWindow("New Pattern Layer", {{"Create", QV_SELECTOR(create:)}, {"Cancel", QV_SELECTOR(cancel:)}}, 1);
    return this;
}

void NewPatternWindowController::create(NSObject*) { CallLog::Call("NewPatternWindowController::create:"); }
void NewPatternWindowController::cancel(NSObject*) { CallLog::Call("NewPatternWindowController::cancel:"); }
