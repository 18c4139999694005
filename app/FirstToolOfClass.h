// The current view's document's first tool of a class.
#pragma once
#include "UIFramework/DocumentView.h"
#include "app/ToolLookup.h"

// An empty handle when none matches, or when the view has no document.
template <class T>
Kernel::Counted<T> FirstToolOfClass(DocumentView* view) {
    DocumentController* document = view ? view->unsafeDocumentController() : nullptr;
    if (!document) return {};
    return FirstToolOfClassIn<T>(*document);
}
