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

// Printable ASCII needs no decoding: most text is nothing else.
bool IsPrintableAscii(unsigned char u) { return u >= 0x20 && u < 0x7f; }

bool NeedsEscapes(std::string_view text) {
    for (char c : text)
        if (!IsPrintableAscii(static_cast<unsigned char>(c))) return true;
    return text.find(kServiceMessageMarker) != std::string_view::npos;
}

void AppendHexByte(std::string& out, unsigned char u) {
    static const char kHex[] = "0123456789abcdef";
    out += "\\x";
    out.push_back(kHex[u >> 4]);
    out.push_back(kHex[u & 15]);
}
}  // namespace

TextCharacter CharacterAt(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const TextCharacter stray{1, lead, false, false};
    if (lead < 0x80) return {1, lead, true, IsPrintableAscii(lead)};
    // The lead byte gives the length and the first bits; the second byte's range also rules out
    // overlong forms (E0, F0), surrogates (ED) and code points past U+10FFFF (F4).
    size_t length;
    char32_t code;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
    else return stray;
    if (lead == 0xE0) low = 0xA0;
    else if (lead == 0xED) high = 0x9F;
    else if (lead == 0xF0) low = 0x90;
    else if (lead == 0xF4) high = 0x8F;
    if (text.size() - at < length) return stray;
    for (size_t k = 1; k < length; ++k) {
        const auto u = static_cast<unsigned char>(text[at + k]);
        if (u < (k == 1 ? low : 0x80) || u > (k == 1 ? high : 0xBF)) return stray;
        code = (code << 6) | (u & 0x3F);
    }
    const bool c1 = code <= 0x9F;  // a sequence of two bytes or more is U+0080 or above
    return {length, code, true, !c1 && code != 0x2028 && code != 0x2029};
}

std::string EscapeForMessage(std::string_view text) {
    if (!NeedsEscapes(text)) return std::string(text);
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const TextCharacter character = CharacterAt(text, i);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (!character.shown) {
            for (size_t k = 0; k < character.length; ++k) AppendHexByte(out, static_cast<unsigned char>(text[i + k]));
        } else if (c == '#' && text.substr(i, kServiceMessageMarker.size()) == kServiceMessageMarker) {
            // Escapes insert no "#", so no marker can come back; the rest of it stays as it is.
            out += "\\x23\\x23";
            i += 2;
            continue;
        } else {
            out.append(text.substr(i, character.length));
        }
        i += character.length;
    }
    return out;
}

std::string Cut(std::string_view text, size_t limit) {
    if (text.size() <= limit) return std::string(text);
    size_t cut = 0;
    for (size_t next; (next = cut + CharacterAt(text, cut).length) <= limit;) cut = next;
    return std::string(text.substr(0, cut)) + "[...]";
}

// The mark is escaped with the text: a cut after "##teamcity" must not make a marker.
std::string Excerpt(std::string_view text, size_t limit) { return EscapeForMessage(Cut(text, limit)); }

}  // namespace Kernel
