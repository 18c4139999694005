#include "DocSession/SpellChecker.h"

#include "DocSession/CallLog.h"

bool DocumentSpellChecker::IsIgnoredWord(const Story::GlyphString& glyphs,
                                         const Kernel::Counted<Story::Language>& language) const {
    const std::string word = glyphs.Utf8();
    CallLog::Call("DocumentSpellChecker::IsIgnoredWord", word,
                  CallLog::Raw{language ? CallLog::Arg(language->GetCFDialect()) : std::string("nil")});
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ignored.count(word) != 0;
}

void DocumentSpellChecker::IgnoreWord(const std::string& word) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ignored.insert(word);
}

void DocumentSpellChecker::ClearIgnoredWords() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ignored.clear();
}
