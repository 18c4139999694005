// The framework's delegate protocols. Adoption is declared by inheriting the marker; the framework
// reaches the methods by selector, and every method of these protocols is optional unless noted.
#pragma once

// Studio panel layout of a persona: numberOfBookInEastShelf, populateEastForBook:, ...
struct StudioDelegate {};
// Canvas context menus: showContextMenu: (required).
struct ContextMenuDelegate {};
// Keyboard shortcuts of a persona: acceptKey:withModifierMask:, ...
struct ToolsKeyboardAcceleratorDelegate {};
