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
    static Ref<NSURL> fileURLWithPath(const std::string& path) { return New<NSURL>(path); }
    Ref<NSString> absoluteString() const { return NSString::from(m_text); }
    // The file path of a file URL ("file://" dropped), else the text itself.
    Ref<NSString> path() const {
        return NSString::from(std::string_view(m_text).starts_with("file://") ? m_text.substr(7) : m_text);
    }
    std::string description() const override { return m_text; }

private:
    std::string m_text;
};
