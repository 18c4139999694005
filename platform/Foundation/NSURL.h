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
    // A file URL for the path; nil for nil or empty text.
    static Ref<NSURL> fileURLWithPath(const NSString* path) {
        if (!path || path->utf8().empty()) return nullptr;
        auto url = New<NSURL>("file://" + path->utf8());
        url->m_path = path->utf8();
        return url;
    }
    Ref<NSString> absoluteString() const { return NSString::from(m_text); }
    // The file path of a file URL; empty for other URLs.
    Ref<NSString> path() const { return NSString::from(m_path); }
    std::string description() const override { return m_text; }

private:
    std::string m_text;
    std::string m_path;
};
