// The framework's anchor properties dialog: what it edits is the framework's; the stand-in records
// which button ended it.
#pragma once
#include "AppKit/NSWindow.h"

class AnchorCreateWindowController : public NSWindowController {
    QV_OBJECT(AnchorCreateWindowController)
public:
    ~AnchorCreateWindowController() override;  // recorded, so the dialog's release can be seen
    NSObject* init() override;
    // Button actions of the dialog; each stops the modal loop.
    void ok(NSObject* sender);
    void cancel(NSObject* sender);
};
