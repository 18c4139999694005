// Studio panel layout of the Develop persona.
#pragma once
#include "Foundation/Foundation.h"
#include "UIFramework/Protocols.h"

class StudioDevelop : public NSObject, public StudioDelegate {
    QV_OBJECT(StudioDevelop)
public:
    NSUInteger numberOfBookInEastShelf() { return 3; }
    NSUInteger numberOfFloatingShelves() { return 0; }
    Ref<NSArray> populateEastForBook(NSUInteger book);
    Ref<NSArray> populateFloating(NSUInteger shelf, NSUInteger book);
    BOOL collapseEastBook(NSUInteger book) { return book >= 2; }
    BOOL isVisibleOnStartUp(NSUInteger page);
};
