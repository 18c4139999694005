// Immutable and mutable strings. Text is held as UTF-8; lengths, indexes and ranges
// count UTF-16 units, as the framework's callers expect.
#pragma once
#include <initializer_list>
#include <string>
#include <variant>

#include "ObjectRuntime.h"

struct NSRange {
    NSUInteger location;
    NSUInteger length;
};
inline NSRange NSMakeRange(NSUInteger loc, NSUInteger len) { return {loc, len}; }

class NSString : public NSObject {
    QV_OBJECT(NSString)
public:
    NSString() = default;
    explicit NSString(std::string utf8) : m_text(std::move(utf8)) {}

    static Ref<NSString> string() { return New<NSString>(); }
    static Ref<NSString> stringWithUTF8String(const char* s) { return New<NSString>(std::string(s ? s : "")); }
    static Ref<NSString> from(std::string_view s) { return New<NSString>(std::string(s)); }
    // The string of these UTF-16 units (a surrogate pair makes one character).
    static Ref<NSString> stringWithCharacters(const char16_t* characters, NSUInteger length);

    // One argument of stringWithFormat: an object for "%@", or a number or C string.
    using FormatArg = std::variant<NSObject*, long long, unsigned long long, double, const char*>;
    // printf-style formatting with "%@" for objects (their description, or the text of a string);
    // "%n$@" style positions are honoured.
    static Ref<NSString> stringWithFormat(std::string_view format, std::initializer_list<FormatArg> args);

    const std::string& utf8() const { return m_text; }
    const char* UTF8String() const { return m_text.c_str(); }
    NSUInteger length() const;  // UTF-16 units
    unsigned short characterAtIndex(NSUInteger index) const;
    Ref<NSString> substringToIndex(NSUInteger index) const;
    Ref<NSString> substringFromIndex(NSUInteger index) const;
    Ref<NSString> substringWithRange(NSRange range) const;
    Ref<NSString> stringByAppendingString(const NSString* other) const;
    // The first unit that belongs to the set; {NSNotFound, 0} when none does.
    NSRange rangeOfCharacterFromSet(const class NSCharacterSet* set) const;
    BOOL isEqualToString(const NSString* other) const { return other && other->m_text == m_text; }
    BOOL hasPrefix(std::string_view p) const { return std::string_view(m_text).starts_with(p); }
    BOOL hasSuffix(std::string_view s) const { return std::string_view(m_text).ends_with(s); }
    // The order the Finder shows names in: letters without regard to case, runs of digits by their
    // value ("Page 2" before "Page 10"). Answers -1, 0 or 1.
    int localizedStandardCompare(const NSString* other) const;
    int intValue() const;
    NSInteger integerValue() const;

    BOOL isEqual(const NSObject* other) const override;
    NSUInteger hash() const override { return std::hash<std::string>()(m_text); }
    std::string description() const override { return m_text; }

protected:
    std::string m_text;
};

class NSMutableString : public NSString {
    QV_OBJECT(NSMutableString)
public:
    using NSString::NSString;
    static Ref<NSMutableString> stringWithString(const NSString* s) {
        return New<NSMutableString>(s ? s->utf8() : std::string());
    }
    void appendString(const NSString* s) {
        if (s) m_text += s->utf8();
    }
    void appendUTF8(std::string_view s) { m_text.append(s); }
    void setString(const NSString* s) { m_text = s ? s->utf8() : std::string(); }
};

// Comparison helper for tests and callers that hold plain text.
inline bool operator==(const Ref<NSString>& a, std::string_view b) { return a && a->utf8() == b; }
