// Modal alerts of the framework.
#pragma once
#include <initializer_list>

#include "Foundation/Foundation.h"

// Shows a modal alert: the message is format filled with args ("%@" takes an object). nil button
// titles mean no such button; a nil default button shows "OK". Answers 1000 for the default
// button, 1001 for the alternate, 1002 for the other.
NSInteger CocoaUIRunAlertPanel(const NSString* title, const NSString* format, const NSString* defaultButton,
                               const NSString* alternateButton, const NSString* otherButton,
                               std::initializer_list<NSString::FormatArg> args = {});
