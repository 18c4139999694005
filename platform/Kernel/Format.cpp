#include "Format.h"

#include <string>

namespace Kernel {

void AppendFormatVT(StringT<TEncUtf8>& out, std::string_view fmt, const std::vector<StringT<TEncUtf8>>& args) {
    std::string result;
    result.reserve(fmt.size() + 32);
    for (size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c == '%' && i + 1 < fmt.size() && fmt[i + 1] >= '1' && fmt[i + 1] <= '9') {
            size_t n = static_cast<size_t>(fmt[i + 1] - '1');
            if (n < args.size()) {
                result.append(args[n].View());
                ++i;
                continue;
            }
        }
        result.push_back(c);
    }
    out.Append(result);
}

StringT<TEncUtf8> Format(std::string_view fmt, std::initializer_list<StringT<TEncUtf8>> args) {
    StringT<TEncUtf8> out;
    AppendFormatVT(out, fmt, std::vector<StringT<TEncUtf8>>(args));
    return out;
}

StringT<TEncUtf8> ToStringT(int64_t value) { return StringT<TEncUtf8>(std::to_string(value)); }
StringT<TEncUtf8> ToStringT(uint64_t value) { return StringT<TEncUtf8>(std::to_string(value)); }

std::string EscapeForMessage(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string Excerpt(std::string_view text, size_t limit) {
    if (text.size() <= limit) return EscapeForMessage(text);
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // a continuation byte
    return EscapeForMessage(text.substr(0, cut)) + "[...]";
}

}  // namespace Kernel
