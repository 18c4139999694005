#include "UIFramework/InputSheet.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(RunInputSheetHelper, NSObject) { c.method("run", &RunInputSheetHelper::run); }

RunInputSheetHelper* RunInputSheetHelper::initWithMessage(NSString* message, NSString* description, NSWindow* window,
                                                          NSString* defaultText, Handler handler) {
    CallLog::Call("RunInputSheetHelper::initWithMessage:andDescription:inWindow:withDefault:handler:",
                  static_cast<const NSString*>(message), static_cast<const NSString*>(description),
                  static_cast<const NSObject*>(window), static_cast<const NSString*>(defaultText),
                  CallLog::Raw{handler ? "<handler>" : "nil"});
    m_message = message;
    m_description = description;
    m_window = window;
    m_default = defaultText;
    m_handler = std::move(handler);
    return this;
}

NSInteger RunInputSheetHelper::run() {
    CallLog::Call("RunInputSheetHelper::run");
    NSSheetRequest request;
    request.kind = "input";
    request.message = m_message ? m_message->utf8() : "";
    request.detail = m_description ? m_description->utf8() : "";
    request.text = m_default ? m_default->utf8() : "";
    request.buttons = {{"OK", 1}, {"Cancel", 0}};
    Ref<RunInputSheetHelper> self(this);  // the sheet keeps its helper until it ends
    NSBeginSheet(m_window.get(), std::move(request), [self](NSInteger response, const std::string& text) {
        if (self->m_handler) self->m_handler(NSString::from(text).get(), response);
    });
    return 0;
}
