#include "TextFlow/Story.h"

#include <algorithm>

#include "DocSession/CallLog.h"

namespace Story {
namespace {

void Append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string ToUtf8(const char32_t* p, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) Append(out, p[i]);
    return out;
}

// Malformed bytes become U+FFFD, one per byte.
std::u32string FromUtf8(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        char32_t c = extra == 0 ? b : (b & (0x3F >> extra));
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            auto n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (n & 0x3F);
        }
        if (!ok) {
            out += U'\uFFFD';
            ++i;
            continue;
        }
        out += c;
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

bool IsWordBreak(char32_t c) {
    return c == 0x20 || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace

std::string GlyphString::Utf8() const { return ToUtf8(m_chars.data(), m_chars.size()); }

Kernel::Counted<StoryText> StoryText::FromUtf8(const std::string& text, const std::string& dialect) {
    return Kernel::MakeCounted<StoryText>(Story::FromUtf8(text), Kernel::MakeCounted<Language>(dialect));
}

GlyphAtts StoryPos::GetGlyphAtts() const { return GlyphAtts{m_story ? m_story->GetLanguage() : Kernel::Counted<Language>()}; }

Kernel::String StoryRange::GetString(uint32_t formatType, int64_t lengthLimit) const {
    CallLog::Call("Story::StoryRange::GetString", formatType, lengthLimit);
    if (!m_story || m_end <= m_begin) return {};
    size_t n = static_cast<size_t>(m_end - m_begin);
    if (lengthLimit >= 0) n = std::min(n, static_cast<size_t>(lengthLimit));
    return Kernel::String(ToUtf8(m_story->Chars().data() + m_begin, n));
}

GlyphString StoryRange::GetGlyphs() const {
    if (!m_story || m_end <= m_begin) return {};
    return GlyphString(m_story->Chars().substr(static_cast<size_t>(m_begin), static_cast<size_t>(m_end - m_begin)));
}

void Selection::ExtendToSpelling(bool) {
    if (!m_story) return;
    const std::u32string& chars = m_story->Chars();
    const int64_t length = m_story->Length();
    for (RangeRecord& r : m_ranges) {
        r.begin = std::clamp<int64_t>(r.begin, 0, length);
        r.end = std::clamp<int64_t>(r.end, r.begin, length + 1);
        while (r.begin > 0 && !IsWordBreak(chars[static_cast<size_t>(r.begin - 1)])) --r.begin;
        while (r.end < length && !IsWordBreak(chars[static_cast<size_t>(r.end)])) ++r.end;
    }
}

void Selection::ExcludeStoryTerminator() {
    if (!m_story) return;
    for (RangeRecord& r : m_ranges) r.end = std::min(r.end, m_story->Length());
}

StoryRange Selection::GetMaxRange() const {
    if (m_ranges.empty()) return StoryRange(m_story, 0, 0);
    int64_t begin = m_ranges.front().begin, end = m_ranges.front().end;
    for (const RangeRecord& r : m_ranges) {
        begin = std::min(begin, r.begin);
        end = std::max(end, r.end);
    }
    return StoryRange(m_story, begin, end);
}

}  // namespace Story
