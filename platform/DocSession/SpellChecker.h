// A document's own spell checker: the words the user told it to ignore in this document.
#pragma once
#include <mutex>
#include <set>
#include <string>

#include "Kernel/Counted.h"
#include "TextFlow/Story.h"

class DocumentSpellChecker : public Kernel::Countable {
public:
    // Recorded in the call log with the word and the language's dialect.
    bool IsIgnoredWord(const Story::GlyphString& glyphs, const Kernel::Counted<Story::Language>& language) const;

    // Stand-in state: words this document ignores, in any language.
    void IgnoreWord(const std::string& word);
    void ClearIgnoredWords();

private:
    mutable std::mutex m_mutex;
    std::set<std::string> m_ignored;
};
