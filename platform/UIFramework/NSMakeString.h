// Engine strings to framework strings.
#pragma once
#include <string_view>

#include "Foundation/Foundation.h"
#include "Kernel/LocalisedString.h"
#include "Kernel/String.h"

inline Ref<NSString> NSMakeString(const Kernel::String& s) { return NSString::from(s.View()); }
inline Ref<NSString> NSMakeString(const Kernel::LocalisedString& s) { return NSString::from(s.GetDisplayText().View()); }
inline Ref<NSString> NSMakeString(const std::string& s) { return NSString::from(s); }
inline Ref<NSString> NSMakeString(const char* s) { return NSString::from(s ? s : ""); }
