// Modal alerts of the framework.
#pragma once
#include <initializer_list>

#include "Foundation/Foundation.h"

// Shows a modal alert: the message is format filled with args ("%@" takes an object). nil button
// titles mean no such button, the default one included. Answers 1000 for the default button,
// 1001 for the alternate, 1002 for the other; an answer naming a button that is not shown
// presses the first one shown, and an alert without any button answers NSModalResponseAbort.
NSInteger CocoaUIRunAlertPanel(const NSString* title, const NSString* format, const NSString* defaultButton,
                               const NSString* alternateButton, const NSString* otherButton,
                               std::initializer_list<NSString::FormatArg> args = {});
