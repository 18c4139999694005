// Command target of the persona actions: switches persona with the entry checks and alerts, and
// validates the persona menu items.
#pragma once
#include <cstdint>

#include "AppKit/NSMenu.h"
#include "Foundation/Foundation.h"

class CommonSharedCommandController : public NSObject {
    QV_OBJECT(CommonSharedCommandController)
public:
    BOOL validateToolbarControlItem(NSObject* item, unsigned long identifier);
    BOOL validateMenuItem(NSMenuItem* item);
    void switchToConditionalWorkspace(unsigned int persona, NSString* caption);

    void drawPersona(NSObject* sender);
    void tavikPersona(NSObject* sender);
    void liquifyPersona(NSObject* sender);
    void exportPersona(NSObject* sender);
    void technicalPersona(NSObject* sender);
    void HDRPersona(NSObject* sender);
    void developPersona(NSObject* sender);
    void pixelPersona(NSObject* sender);
    void layoutPersona(NSObject* sender);

private:
    enum class EntryCheck { Liquify, Develop, ToneMap };
    void PlainSwitch(uint32_t persona);
    void SwitchWithEntryCheck(EntryCheck check);
};
