// Every user-interface text is looked up together with the context it is shown in.
#pragma once
#include "Foundation/Foundation.h"

// The main bundle's translation of text in context, or text itself when there is none.
Ref<NSString> LocalizedStringWithContext(const NSString* text, const NSString* context);
// The same, in the given bundle.
Ref<NSString> LocalizedStringFromBundleWithContext(NSBundle* bundle, const NSString* text, const NSString* context);

// Convenience for callers holding plain text.
inline Ref<NSString> LocalizedStringWithContext(std::string_view text, std::string_view context) {
    return LocalizedStringWithContext(NSString::from(text).get(), NSString::from(context).get());
}
