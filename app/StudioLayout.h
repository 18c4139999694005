// Studio panel layout of the page-layout persona.
#pragma once
#include "Foundation/Foundation.h"
#include "UIFramework/Protocols.h"

class StudioLayout : public NSObject, public StudioDelegate {
    QV_OBJECT(StudioLayout)
public:
    NSUInteger numberOfBookInEastShelf() { return 3; }
    NSUInteger numberOfBookInWestShelf() { return 1; }
    NSUInteger numberOfFloatingShelves() { return 1; }
    Ref<NSArray> populateEastForBook(NSUInteger book);
    Ref<NSArray> populateWestForBook(NSUInteger book);
    Ref<NSArray> populateFloating(NSUInteger shelf, NSUInteger book);
    BOOL isVisibleOnStartUp(NSUInteger page);
    NSUInteger autoCollapseOrderForPageID(NSUInteger page);
};
