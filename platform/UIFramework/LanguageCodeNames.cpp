#include "UIFramework/LanguageCodeNames.h"

#include <algorithm>

QV_IMPLEMENT(LanguageCodeNames, NSObject) {}

Ref<NSString> LanguageCodeNames::convertFromStoryLanguageCode(const NSString* code) {
    if (!code) return nullptr;
    std::string name = code->utf8();
    std::replace(name.begin(), name.end(), '-', '_');
    return NSString::from(name);
}
