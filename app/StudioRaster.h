// Studio panel layout of the Tavik persona.
#pragma once
#include "Foundation/Foundation.h"
#include "UIFramework/Protocols.h"

class StudioRaster : public NSObject, public StudioDelegate {
    QV_OBJECT(StudioRaster)
public:
    NSUInteger numberOfBookInEastShelf() { return 3; }
    NSUInteger numberOfBookInWestShelf() { return 1; }
    NSUInteger numberOfFloatingShelves() { return 2; }
    Ref<NSArray> populateEastForBook(NSUInteger book);
    Ref<NSArray> populateWestForBook(NSUInteger book);
    Ref<NSArray> populateFloating(NSUInteger shelf, NSUInteger book);
    NSUInteger frontPageInEastForBook(NSUInteger book);
    BOOL isVisibleOnStartUp(NSUInteger page);
    NSUInteger autoCollapseOrderForPageID(NSUInteger page);
};
