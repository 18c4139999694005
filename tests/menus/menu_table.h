// Expected-call tables for main-menu items, read from text files.
//
//   # comment
//   == <selector>                 starts the rows of one menu item
//   <mode>: <call>                one expected call-log entry; more lines of one mode follow in order
//   <mode>: -                     the item records nothing in that mode
//   <mode> = <other mode>         the same entries as another mode of this item
//   answer: <button>              pressed, in order, at each modal alert, window or sheet the item
//                                 opens (unanswered requests get their own default button; an
//                                 unanswered sheet is cancelled)
//   text: <typed text>            typed, in order, into each sheet before it is answered ("$TMP"
//                                 stands for a folder holding "mask.kqselection", here and in calls)
//
// Modes: "view" (a document view is current), "noview" (none is), "dragging" (the view is being
// dragged). Every item names all three.
#pragma once
#include <map>
#include <string>
#include <vector>

struct MenuTableRow {
    std::string selector;
    std::string file;
    int line = 0;
    std::map<std::string, std::vector<std::string>> expected;  // mode -> entries
    std::vector<std::string> answers;
    std::vector<std::string> texts;
};

inline const std::vector<std::string>& MenuTableModes() {
    static const std::vector<std::string> modes{"view", "noview", "dragging"};
    return modes;
}

// Reads one table; problems (with file and line) go to errors.
std::vector<MenuTableRow> ReadMenuTable(const std::string& path, std::vector<std::string>& errors);
// Every "*.txt" table in the folder, in file-name order.
std::vector<MenuTableRow> ReadMenuTables(const std::string& folder, std::vector<std::string>& errors);
