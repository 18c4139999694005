#include "UIFramework/Alerts.h"

#include <string>
#include <vector>

#include "AppKit/NSApplication.h"
#include "DocSession/CallLog.h"

NSInteger CocoaUIRunAlertPanel(const NSString* title, const NSString* format, const NSString* defaultButton,
                               const NSString* alternateButton, const NSString* otherButton,
                               std::initializer_list<NSString::FormatArg> args) {
    std::string line = "CocoaUIRunAlertPanel(" + CallLog::Arg(title) + ", " + CallLog::Arg(format) + ", " +
                       CallLog::Arg(defaultButton) + ", " + CallLog::Arg(alternateButton) + ", " +
                       CallLog::Arg(otherButton);
    for (const auto& a : args) {
        line += ", ";
        if (auto* o = std::get_if<NSObject*>(&a)) {
            auto* s = ObjectCast<NSString>(*o);
            line += s ? CallLog::Arg(static_cast<const NSString*>(s)) : CallLog::Arg(static_cast<const NSObject*>(*o));
        } else if (auto* i = std::get_if<long long>(&a)) {
            line += std::to_string(*i);
        } else if (auto* u = std::get_if<unsigned long long>(&a)) {
            line += std::to_string(*u);
        } else if (auto* d = std::get_if<double>(&a)) {
            line += std::to_string(*d);
        } else if (auto* c = std::get_if<const char*>(&a)) {
            line += CallLog::Arg(*c);
        }
    }
    line += ")";
    CallLog::Record(line);

    NSAlertRequest request;
    request.title = title ? title->utf8() : "";
    request.message = format ? NSString::stringWithFormat(format->utf8(), args)->utf8() : "";
    const NSString* titles[3] = {defaultButton, alternateButton, otherButton};
    int firstShown = -1;
    for (int i = 2; i >= 0; --i) {
        request.buttons[i] = titles[i] ? titles[i]->utf8() : "";
        if (titles[i]) firstShown = i;
    }
    // Return presses the first button there is.
    request.unanswered = firstShown < 0 ? 0 : firstShown;
    NSInteger answer = NSRunAlertModal(request);
    if (firstShown < 0) return NSModalResponseAbort;
    // A button that is not shown cannot be pressed.
    if (answer < NSAlertFirstButtonReturn || answer > NSAlertThirdButtonReturn ||
        !titles[answer - NSAlertFirstButtonReturn])
        answer = NSAlertFirstButtonReturn + firstShown;
    return answer;
}
