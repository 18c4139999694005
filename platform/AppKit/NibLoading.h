// Interface files ("nibs") kept as text resources: "<name>.nib" in the bundle's resources.
//
//   object <name> <Class> [outlet=<ownerOutlet>]   a top-level object made with alloc and init
//   menu <ownerOutlet|-> "Title" [autoenables=NO]  a top-level menu, closed by "end"
//   item "Title" [action=sel:] [key="k"] [tag=N] [target=<object name>|owner]
//        [represented="text"] [state=on] [hidden=YES] [outlet=<object name>.<outlet>]
//   submenu "Title" [item attributes]              an item with a submenu, closed by "end"
//   separator [outlet=<object name>.<outlet>]
//
// Outlets are connected through the owner's setter ("generalMenu" -> setGeneralMenu:) when the
// owner answers it. An item's outlet= connects it to that top-level object's outlet, through the
// object's setter in the same way; an object without that setter is an error. Lines starting
// with '#' are comments.
#pragma once
#include <string>

#include "Foundation/Foundation.h"

// Loads the nib, connects its outlets to owner and hands back its top-level objects in file order.
// On a missing or malformed file it answers NO, says why on standard error, connects nothing and
// leaves *topLevelObjects nil.
BOOL NSBundleLoadNibNamed(NSBundle* bundle, const std::string& name, NSObject* owner, Ref<NSArray>* topLevelObjects);

// The same, from text (for tests and for the loader itself); source names the text in messages.
BOOL LoadNibFromText(const std::string& text, const std::string& source, NSObject* owner,
                     Ref<NSArray>* topLevelObjects);
