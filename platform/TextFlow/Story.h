// The text library's story model, as far as the context menus read it: a story's characters and
// language, positions and ranges in it, and the text selection made of range records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Kernel/Counted.h"
#include "Kernel/String.h"

namespace Story {

class Language : public Kernel::Countable {
public:
    explicit Language(std::string dialect) : m_dialect(std::move(dialect)) {}
    // The dialect code, such as "en-GB".
    Kernel::String GetCFDialect() const { return Kernel::String(m_dialect); }

private:
    std::string m_dialect;
};

struct GlyphAtts {
    Kernel::Counted<Language> language;
};

// The glyphs of a range: its characters as the spell checkers see them.
class GlyphString {
public:
    GlyphString() = default;
    explicit GlyphString(std::u32string chars) : m_chars(std::move(chars)) {}
    const std::u32string& Chars() const { return m_chars; }
    std::string Utf8() const;

private:
    std::u32string m_chars;
};

// A story: its characters (positions count them) and its language; the terminator that ends every
// story stands at the position just past the last character.
class StoryText : public Kernel::Countable {
public:
    StoryText(std::u32string chars, Kernel::Counted<Language> language)
        : m_chars(std::move(chars)), m_language(std::move(language)) {}
    static Kernel::Counted<StoryText> FromUtf8(const std::string& text, const std::string& dialect);
    const std::u32string& Chars() const { return m_chars; }
    int64_t Length() const { return static_cast<int64_t>(m_chars.size()); }
    const Kernel::Counted<Language>& GetLanguage() const { return m_language; }

private:
    std::u32string m_chars;
    Kernel::Counted<Language> m_language;
};

class StoryPos {
public:
    StoryPos(Kernel::Counted<StoryText> story, int64_t index) : m_story(std::move(story)), m_index(index) {}
    GlyphAtts GetGlyphAtts() const;
    int64_t GetIndex() const { return m_index; }

private:
    Kernel::Counted<StoryText> m_story;
    int64_t m_index;
};

class StoryRange {
public:
    StoryRange(Kernel::Counted<StoryText> story, int64_t begin, int64_t end)
        : m_story(std::move(story)), m_begin(begin), m_end(end) {}
    // The range's text; the stand-in knows one format, plain characters, and records which was asked.
    Kernel::String GetString(uint32_t formatType, int64_t lengthLimit) const;
    GlyphString GetGlyphs() const;
    StoryPos GetStart() const { return StoryPos(m_story, m_begin); }
    int64_t GetBegin() const { return m_begin; }
    int64_t GetEnd() const { return m_end; }

private:
    Kernel::Counted<StoryText> m_story;
    int64_t m_begin;
    int64_t m_end;
};

// One range of a text selection, as the text engine lays it out: 40 bytes.
struct RangeRecord {
    int64_t begin;
    int64_t end;
    uint64_t story;  // non-zero for a range that lies in a story's text
    uint64_t caret;
    uint64_t reserved;
};
static_assert(sizeof(RangeRecord) == 40, "a story-selection range record is five 64-bit words");

class Selection {
public:
    Selection() = default;
    Selection(Kernel::Counted<StoryText> story, std::vector<RangeRecord> ranges)
        : m_story(std::move(story)), m_ranges(std::move(ranges)) {}
    const std::vector<RangeRecord>& GetRanges() const { return m_ranges; }
    // Widens every range to whole words; the flag is the engine's.
    void ExtendToSpelling(bool flag);
    // Ends no range past the last character.
    void ExcludeStoryTerminator();
    // From the first range's start to the last range's end; an empty range at 0 without ranges.
    StoryRange GetMaxRange() const;

private:
    Kernel::Counted<StoryText> m_story;
    std::vector<RangeRecord> m_ranges;
};

}  // namespace Story
