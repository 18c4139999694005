// The rows that recur in the persona tables: the thirteen common view rows, and the walkers
// that register a table's tool rows and page rows from data.
#pragma once
#include <cstdint>
#include <initializer_list>

#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class StudioCommands;

// How the Character and Typography rows (12 and 13) are registered: as studio pages (category
// 'stud') in most tables, as plain actions (category 0) in the pixel table.
enum class PageKeyRows { Studio, Plain };

// Registers the common view rows of these numbers (1 to 13), in the order given. Rows 12 and 13
// target the studio commands; every other row the view commands of the moment.
void RegisterCommonViewRows(ToolsKeyboardAcceleratorPopulator* populator, std::initializer_list<int> rows,
                            PageKeyRows pageKeyRows = PageKeyRows::Studio);

// One tool row: its key and tool id. A row marked tableText is registered only while the persona
// controller's table-text switch is on.
struct ToolRow {
    char key;
    ToolID tool;
    bool tableText = false;
};
// Registers each row with registerKeyCodeForKey:forToolID:, in order.
void RegisterToolRows(ToolsKeyboardAcceleratorPopulator* populator, const ToolRow* rows, size_t count);
template <size_t N>
void RegisterToolRows(ToolsKeyboardAcceleratorPopulator* populator, const ToolRow (&rows)[N]) {
    RegisterToolRows(populator, rows, N);
}

// One keyless studio-page row: its title and either its toggle action or the page id whose
// toggle the studio commands answer. category 0 rows are registered without a category.
struct PageRow {
    const char* title;
    const char* action;     // null: asked of the studio commands by page id
    uint32_t pageID = 0;
    uint32_t category = ShortcutCategory::Studio;
};
// Registers each row on the studio commands given (nil: the studio commands of the moment, asked
// for each row), in order.
void RegisterPageRows(ToolsKeyboardAcceleratorPopulator* populator, StudioCommands* studio, const PageRow* rows,
                      size_t count);
template <size_t N>
void RegisterPageRows(ToolsKeyboardAcceleratorPopulator* populator, StudioCommands* studio, const PageRow (&rows)[N]) {
    RegisterPageRows(populator, studio, rows, N);
}

// A title as the shortcut lists show it: localised in the context "Accelerator key".
Ref<NSString> AcceleratorTitle(const char* title);
