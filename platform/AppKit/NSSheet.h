// Sheets: dialogs that open on a window and stay up after the call that showed them has returned;
// the user ends one later with one of its buttons, and its completion then runs on the main
// thread. One sheet is open at a time.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "AppKit/NSWindow.h"

enum : NSInteger { NSModalResponseCancel = 0, NSModalResponseOK = 1 };

struct NSSheetButton {
    std::string title;
    NSInteger response;
};

// What a sheet shows: its message and description, its one text field and its buttons (the first
// confirms; a sheet left unanswered ends with NSModalResponseCancel).
struct NSSheetRequest {
    std::string kind;  // "input", "save" or "open"
    std::string message;
    std::string detail;
    std::string text;
    std::vector<NSSheetButton> buttons;
    // Checks the text before the first button may end the sheet; answers why not, or empty.
    std::function<std::string(const std::string& text)> check;
};
using NSSheetCompletion = std::function<void(NSInteger response, const std::string& text)>;

// Shows the sheet on the window. A sheet still open is cancelled first.
void NSBeginSheet(NSWindow* window, NSSheetRequest request, NSSheetCompletion completion);
// The open sheet, or null.
const NSSheetRequest* NSOpenSheet();
// Types text into the open sheet's field, replacing what it held; NO when no sheet is open.
BOOL NSSetSheetText(std::string text);
// Presses the open sheet's button of that title and runs its completion. Answers why the button
// could not be pressed (no sheet, no such button, a text the sheet refuses), or empty.
std::string NSPressSheetButton(std::string_view title);
// Ends the open sheet as Cancel would; NO when none was open.
BOOL NSCancelSheet();
// Forgets the open sheet without running its completion (stand-in reset).
void NSDiscardSheet();
