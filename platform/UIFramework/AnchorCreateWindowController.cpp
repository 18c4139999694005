#include "UIFramework/AnchorCreateWindowController.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(AnchorCreateWindowController, NSWindowController) {
    c.method("ok:", &AnchorCreateWindowController::ok);
    c.method("cancel:", &AnchorCreateWindowController::cancel);
}

AnchorCreateWindowController::~AnchorCreateWindowController() { CallLog::Call("AnchorCreateWindowController::dealloc"); }

NSObject* AnchorCreateWindowController::init() {
    if (!NSWindowController::init()) return nullptr;
    CallLog::Call("AnchorCreateWindowController::init");
    setDialogWindow("Anchor Properties", {{"OK", QV_SELECTOR(ok:)}, {"Cancel", QV_SELECTOR(cancel:)}}, 1);
    return this;
}

void AnchorCreateWindowController::ok(NSObject*) { CallLog::Call("AnchorCreateWindowController::ok:"); }
void AnchorCreateWindowController::cancel(NSObject*) { CallLog::Call("AnchorCreateWindowController::cancel:"); }
