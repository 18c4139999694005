#include "NSString.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "NSCharacterSet.h"

QV_IMPLEMENT(NSString, NSObject) {}
QV_IMPLEMENT(NSMutableString, NSString) {}

namespace {

// Decodes UTF-8 into code points; malformed bytes count as one unit each.
std::vector<char32_t> Decode(const std::string& s) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + n > s.size()) n = 1;
        char32_t cp = n == 1 ? c : n == 2 ? (c & 0x1f) : n == 3 ? (c & 0x0f) : (c & 0x07);
        for (int k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3f);
        out.push_back(cp);
        i += n;
    }
    return out;
}

void EncodeUnit(std::string& out, char32_t cp) {
    if (cp < 0x80) out.push_back(static_cast<char>(cp));
    else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
        out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
}

std::vector<char16_t> ToUtf16(const std::string& s) {
    std::vector<char16_t> out;
    for (char32_t cp : Decode(s)) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string FromUtf16(const char16_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        char32_t c = p[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < n && p[i + 1] >= 0xdc00 && p[i + 1] < 0xe000) {
            c = 0x10000 + ((c - 0xd800) << 10) + (p[i + 1] - 0xdc00);
            ++i;
        }
        EncodeUnit(out, c);  // a lone surrogate half is kept as it is
    }
    return out;
}

std::string ArgText(const NSString::FormatArg& a) {
    if (auto* o = std::get_if<NSObject*>(&a)) return *o ? (*o)->description() : std::string("(null)");
    if (auto* i = std::get_if<long long>(&a)) return std::to_string(*i);
    if (auto* u = std::get_if<unsigned long long>(&a)) return std::to_string(*u);
    if (auto* d = std::get_if<double>(&a)) return std::to_string(*d);
    if (auto* s = std::get_if<const char*>(&a)) return *s ? *s : "(null)";
    return {};
}

}  // namespace

Ref<NSString> NSString::stringWithFormat(std::string_view format, std::initializer_list<FormatArg> args) {
    std::vector<FormatArg> argv(args);
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out.push_back(c);
            continue;
        }
        size_t j = i + 1;
        if (format[j] == '%') {
            out.push_back('%');
            i = j;
            continue;
        }
        // Optional "n$" position.
        size_t pos = next;
        size_t k = j;
        while (k < format.size() && format[k] >= '0' && format[k] <= '9') ++k;
        bool positional = k < format.size() && k > j && format[k] == '$';
        if (positional) {
            pos = static_cast<size_t>(std::atoi(std::string(format.substr(j, k - j)).c_str())) - 1;
            j = k + 1;
        }
        // Flags, width, precision and length are accepted and the conversion decides the text.
        std::string spec = "%";
        while (j < format.size() && std::string_view("-+ #0123456789.hlqzjt").find(format[j]) != std::string_view::npos)
            spec.push_back(format[j++]);
        if (j >= format.size()) {
            out.append(format.substr(i));
            break;
        }
        char conv = format[j];
        const FormatArg* arg = pos < argv.size() ? &argv[pos] : nullptr;
        if (!positional) ++next;
        else next = pos + 1;
        if (!arg) {
            out.append(format.substr(i, j - i + 1));
        } else if (conv == '@' || conv == 's') {
            out += ArgText(*arg);
        } else if (conv == 'f' || conv == 'g' || conv == 'e') {
            double v = 0;
            if (auto* d = std::get_if<double>(arg)) v = *d;
            else if (auto* ii = std::get_if<long long>(arg)) v = static_cast<double>(*ii);
            else if (auto* u = std::get_if<unsigned long long>(arg)) v = static_cast<double>(*u);
            std::string f;
            for (char ch : spec)
                if (ch != 'l' && ch != 'h' && ch != 'q' && ch != 'z' && ch != 'j' && ch != 't') f.push_back(ch);
            f.push_back(conv);
            char buf[128];
            std::snprintf(buf, sizeof buf, f.c_str(), v);
            out += buf;
        } else {
            out += ArgText(*arg);
        }
        i = j;
    }
    return New<NSString>(std::move(out));
}

Ref<NSString> NSString::stringWithCharacters(const char16_t* characters, NSUInteger length) {
    return New<NSString>(characters ? FromUtf16(characters, length) : std::string());
}

NSUInteger NSString::length() const { return ToUtf16(m_text).size(); }

unsigned short NSString::characterAtIndex(NSUInteger index) const {
    auto u = ToUtf16(m_text);
    return index < u.size() ? u[index] : 0;
}

Ref<NSString> NSString::substringWithRange(NSRange range) const {
    auto u = ToUtf16(m_text);
    if (range.location > u.size()) range.location = u.size();
    if (range.length > u.size() - range.location) range.length = u.size() - range.location;
    return New<NSString>(FromUtf16(u.data() + range.location, range.length));
}

NSRange NSString::rangeOfCharacterFromSet(const NSCharacterSet* set) const {
    auto u = ToUtf16(m_text);
    for (size_t i = 0; set && i < u.size(); ++i)
        if (set->characterIsMember(u[i])) return {i, 1};
    return {static_cast<NSUInteger>(NSNotFound), 0};
}

Ref<NSString> NSString::substringToIndex(NSUInteger index) const { return substringWithRange({0, index}); }

Ref<NSString> NSString::substringFromIndex(NSUInteger index) const {
    return substringWithRange({index, static_cast<NSUInteger>(-1) / 2});
}

Ref<NSString> NSString::stringByAppendingString(const NSString* other) const {
    return New<NSString>(m_text + (other ? other->m_text : std::string()));
}

int NSString::intValue() const { return std::atoi(m_text.c_str()); }
NSInteger NSString::integerValue() const { return std::atol(m_text.c_str()); }

BOOL NSString::isEqual(const NSObject* other) const {
    auto* s = ObjectCast<NSString>(const_cast<NSObject*>(other));
    return s && s->m_text == m_text;
}

int NSString::localizedStandardCompare(const NSString* other) const {
    const std::string& a = m_text;
    const std::string b = other ? other->m_text : std::string();
    size_t i = 0, j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei])) ++ei;
            while (ej < b.size() && digit(b[ej])) ++ej;
            // Compare values without overflow: drop leading zeros, then length, then digits.
            size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0') ++zi;
            while (zj + 1 < ej && b[zj] == '0') ++zj;
            if (ei - zi != ej - zj) return ei - zi < ej - zj ? -1 : 1;
            if (int c = a.compare(zi, ei - zi, b, zj, ej - zj); c != 0) return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        char ca = lower(a[i]), cb = lower(b[j]);
        if (ca != cb) return static_cast<unsigned char>(ca) < static_cast<unsigned char>(cb) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    // Equal but for case: a stable, case-sensitive tie-break.
    return a == b ? 0 : (a < b ? -1 : 1);
}
