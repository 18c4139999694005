#include "AppKit/NSSheet.h"

#include <optional>

#include "Kernel/Format.h"

namespace {
struct OpenSheet {
    Ref<NSWindow> window;
    NSSheetRequest request;
    NSSheetCompletion completion;
};
std::optional<OpenSheet>& Current() {
    static std::optional<OpenSheet> sheet;
    return sheet;
}

// Takes the sheet down before its completion runs, so that the completion may open another.
void End(NSInteger response) {
    OpenSheet sheet = std::move(*Current());
    Current().reset();
    if (sheet.completion) sheet.completion(response, sheet.request.text);
}
}  // namespace

void NSBeginSheet(NSWindow* window, NSSheetRequest request, NSSheetCompletion completion) {
    NSCancelSheet();
    Current() = OpenSheet{Ref<NSWindow>(window), std::move(request), std::move(completion)};
}

const NSSheetRequest* NSOpenSheet() { return Current() ? &Current()->request : nullptr; }

BOOL NSSetSheetText(std::string text) {
    if (!Current()) return NO;
    Current()->request.text = std::move(text);
    return YES;
}

std::string NSPressSheetButton(std::string_view title) {
    if (!Current()) return "no sheet is open";
    const NSSheetRequest& request = Current()->request;
    for (size_t i = 0; i < request.buttons.size(); ++i) {
        if (request.buttons[i].title != title) continue;
        if (i == 0 && request.check) {
            std::string why = request.check(request.text);
            if (!why.empty()) return why;
        }
        End(request.buttons[i].response);
        return {};
    }
    std::string names;
    for (const auto& b : request.buttons) names += (names.empty() ? "\"" : ", \"") + b.title + "\"";
    return "the sheet has no button \"" + Kernel::Excerpt(title) + "\" (it has " + names + ")";
}

BOOL NSCancelSheet() {
    if (!Current()) return NO;
    End(NSModalResponseCancel);
    return YES;
}

void NSDiscardSheet() { Current().reset(); }
