// The framework's new-pattern dialog: its fields and the layer it creates are the framework's;
// the stand-in records which button ended it.
#pragma once
#include "AppKit/NSWindow.h"

class NewPatternWindowController : public NSWindowController {
    QV_OBJECT(NewPatternWindowController)
public:
    NSObject* init() override;
    // Button actions of the dialog.
    void create(NSObject* sender);
    void cancel(NSObject* sender);
};
