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

namespace {
constexpr std::string_view kServiceMessageMarker = "##teamcity[";

// Bytes that a terminal acts on: C0 controls, DEL, and the second byte of a C1 control (U+0080 to
// U+009F, which UTF-8 writes as 0xC2 then 0x80 to 0x9F).
bool IsControlAt(std::string_view text, size_t i) {
    const auto u = static_cast<unsigned char>(text[i]);
    if (u < 0x20 || u == 0x7f) return true;
    return u == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9f;
}

bool NeedsEscapes(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (IsControlAt(text, i)) return true;
    return text.find(kServiceMessageMarker) != std::string_view::npos;
}

void AppendHexByte(std::string& out, unsigned char u) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out.push_back(kHex[u >> 4]);
    out.push_back(kHex[u & 15]);
}
}  // namespace

std::string EscapeForMessage(std::string_view text) {
    if (!NeedsEscapes(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (u == 0xC2 && IsControlAt(text, i)) {
            AppendHexByte(out, u);
            AppendHexByte(out, static_cast<unsigned char>(text[++i]));
        } else if (IsControlAt(text, i)) {
            AppendHexByte(out, u);
        } else if (c == '#' && text.substr(i, kServiceMessageMarker.size()) == kServiceMessageMarker) {
            // Escapes insert no "#", so no marker can come back; the rest of it stays as it is.
            out += "\\x23\\x23";
            ++i;
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
    // The "[" of the mark is escaped with the text: a cut after "##teamcity" must not make a marker.
    return EscapeForMessage(std::string(text.substr(0, cut)) + "[") + "...]";
}

}  // namespace Kernel
