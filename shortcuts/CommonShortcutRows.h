// The rows that recur in the persona tables: the thirteen common view rows, and the walkers
// that register a table's tool rows and page rows from data.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <optional>

#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

class StudioCommands;

// How the Character and Typography rows (12 and 13) are registered: as studio pages (category
// 'stud') in most tables, as plain actions (category 0) in the pixel table.
enum class PageKeyRows { Studio, Plain };

// The command objects that rows target. One left unset is asked of the command manager anew for
// each row; a table that fetched one once passes it, nil included.
struct RowTargets {
    std::optional<NSObject*> view;
    std::optional<StudioCommands*> studio;
};

// Registers the common view rows of these numbers (1 to 13), in the order given. Rows 12 and 13
// target the studio commands, every other row the view commands.
void RegisterCommonViewRows(ToolsKeyboardAcceleratorPopulator* populator, std::initializer_list<int> rows,
                            PageKeyRows pageKeyRows = PageKeyRows::Studio, RowTargets targets = {});

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
// Registers each row, in order, on the studio commands given (unset: asked anew for each row).
void RegisterPageRows(ToolsKeyboardAcceleratorPopulator* populator, std::optional<StudioCommands*> studio,
                      const PageRow* rows, size_t count);
template <size_t N>
void RegisterPageRows(ToolsKeyboardAcceleratorPopulator* populator, std::optional<StudioCommands*> studio,
                      const PageRow (&rows)[N]) {
    RegisterPageRows(populator, studio, rows, N);
}

// A title as the shortcut lists show it: localised in the context "Accelerator key".
Ref<NSString> AcceleratorTitle(const char* title);
