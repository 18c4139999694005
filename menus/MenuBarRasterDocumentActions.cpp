// The live-filter, merge, mask, selection and document-command actions of the pixel menu.
#include "menus/MenuBarRasterController.h"

void MenuBarRasterController_fillDocumentSelectors(SelectorTable<MenuBarRasterController>&) {}
