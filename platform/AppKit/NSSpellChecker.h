// The system's shared spell checker. The stand-in knows the misspelled words and the learned words
// that tests and the headless application give it, in every language, and records what it is asked.
#pragma once
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Foundation/Foundation.h"

class NSSpellChecker : public NSObject {
    QV_OBJECT(NSSpellChecker)
public:
    static NSSpellChecker* sharedSpellChecker();

    BOOL setLanguage(const NSString* language);
    NSString* language() const { return m_language.get(); }
    // The first misspelled word at or after start; {NSNotFound, 0} when there is none.
    NSRange checkSpellingOfString(const NSString* text, NSInteger start, const NSString* language, BOOL wrap,
                                  NSInteger tag, NSInteger* wordCount);
    // The guesses for the text in range, in order; empty for a word it does not know as misspelled.
    Ref<NSArray> guessesForWordRange(NSRange range, const NSString* text, const NSString* language, NSInteger tag);
    BOOL hasLearnedWord(const NSString* word);

    // Stand-in state.
    void SetMisspelling(const std::string& word, std::vector<std::string> guesses);
    void SetLearned(const std::string& word);
    void ResetForTesting();

private:
    std::mutex m_mutex;
    Ref<NSString> m_language = NSString::string();
    std::map<std::string, std::vector<std::string>> m_misspellings;
    std::set<std::string> m_learned;
};
