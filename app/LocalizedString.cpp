#include "app/LocalizedString.h"

Ref<NSString> LocalizedStringWithContext(const NSString* text, const NSString* context) {
    return LocalizedStringFromBundleWithContext(NSBundle::mainBundle(), text, context);
}

Ref<NSString> LocalizedStringFromBundleWithContext(NSBundle* bundle, const NSString* text, const NSString* context) {
    // The tables are keyed "text [context]"; neither part is trimmed.
    Ref<NSString> key = NSString::stringWithFormat("%@ [%@]", {const_cast<NSString*>(text), const_cast<NSString*>(context)});
    if (!bundle) return text ? Ref<NSString>(const_cast<NSString*>(text)) : key;
    return bundle->localizedStringForKey(key.get(), text, nullptr);
}
