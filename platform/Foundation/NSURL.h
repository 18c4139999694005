// URLs, as far as the application hands them to the framework.
#pragma once
#include "NSString.h"

class NSURL : public NSObject {
    QV_OBJECT(NSURL)
public:
    NSURL() = default;
    explicit NSURL(std::string text) : m_text(std::move(text)) {}
    // nil for nil or empty text.
    static Ref<NSURL> URLWithString(const NSString* text) {
        if (!text || text->utf8().empty()) return nullptr;
        return New<NSURL>(text->utf8());
    }
    Ref<NSString> absoluteString() const { return NSString::from(m_text); }
    std::string description() const override { return m_text; }

private:
    std::string m_text;
};
