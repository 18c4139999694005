// The framework's translation between the text engine's language codes and the spell checker's.
#pragma once
#include "Foundation/Foundation.h"

class LanguageCodeNames : public NSObject {
    QV_OBJECT(LanguageCodeNames)
public:
    // A dialect such as "en-GB" becomes the spell checker's "en_GB"; nil stays nil.
    static Ref<NSString> convertFromStoryLanguageCode(const NSString* code);
};
