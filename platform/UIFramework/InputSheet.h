// The framework's one-line text-input sheet: a message, a description, a text field with a default
// and OK and Cancel; the handler gets the text and 1 for OK, 0 for Cancel.
#pragma once
#include <functional>

#include "AppKit/NSSheet.h"
#include "Foundation/Foundation.h"

class RunInputSheetHelper : public NSObject {
    QV_OBJECT(RunInputSheetHelper)
public:
    using Handler = std::function<void(NSString* text, NSInteger result)>;
    RunInputSheetHelper* initWithMessage(NSString* message, NSString* description, NSWindow* window,
                                         NSString* defaultText, Handler handler);
    // Puts the sheet up and returns at once; the handler runs when the user ends it.
    NSInteger run();

private:
    Ref<NSString> m_message;
    Ref<NSString> m_description;
    Ref<NSWindow> m_window;
    Ref<NSString> m_default;
    Handler m_handler;
};
