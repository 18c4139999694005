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
    auto window = New<NSWindow>();
    window->setTitle(NSString::from("Anchor Properties").get());
    window->addButton("OK", QV_SELECTOR(ok:));
    window->addButton("Cancel", QV_SELECTOR(cancel:));
    window->setUnansweredButton(1);
    setWindow(window.get());
    return this;
}

void AnchorCreateWindowController::ok(NSObject*) { CallLog::Call("AnchorCreateWindowController::ok:"); }
void AnchorCreateWindowController::cancel(NSObject*) { CallLog::Call("AnchorCreateWindowController::cancel:"); }
