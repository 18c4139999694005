// Headless events that set up what the canvas context menus read (tool, keys, text, spelling,
// fields, selected nodes) and ask for a context menu.
#pragma once
#include <string>
#include <vector>

#include "Foundation/Foundation.h"

class AppController;

// Answers NO when the line is not one of these events.
BOOL HandleTextHostEvent(AppController* controller, const std::vector<std::string>& words);
// A yes/no word of a headless event: true, YES or 1; false, NO or 0. Answers false for any other word.
bool ParseHostFlag(const std::string& word, bool& out);
// A whole word that is a decimal 32-bit signed integer.
bool ParseHostCode(const std::string& word, int& out);
// Back to the defaults: no text set up, language "en-US".
void ResetTextHostEvents();
