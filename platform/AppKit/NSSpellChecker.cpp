#include "AppKit/NSSpellChecker.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(NSSpellChecker, NSObject) {}

namespace {
CallLog::Raw YesNo(BOOL b) { return CallLog::Raw{b ? "YES" : "NO"}; }
}  // namespace

NSSpellChecker* NSSpellChecker::sharedSpellChecker() {
    static NSSpellChecker* checker = new NSSpellChecker;  // lives for the process
    return checker;
}

BOOL NSSpellChecker::setLanguage(const NSString* language) {
    CallLog::Call("NSSpellChecker::setLanguage:", language);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_language = language ? NSString::from(language->utf8()) : NSString::string();
    return YES;
}

NSRange NSSpellChecker::checkSpellingOfString(const NSString* text, NSInteger start, const NSString* language,
                                              BOOL wrap, NSInteger tag, NSInteger* wordCount) {
    CallLog::Call("NSSpellChecker::checkSpellingOfString:startingAt:language:wrap:inSpellDocumentWithTag:wordCount:",
                  text, start, language, YesNo(wrap), tag, CallLog::Raw{wordCount ? "<count>" : "NULL"});
    NSRange none{static_cast<NSUInteger>(NSNotFound), 0};
    if (!text || start < 0) return none;
    // Words are the runs between white space; positions count UTF-16 units.
    NSCharacterSet* breaks = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    const NSUInteger length = text->length();
    NSInteger words = 0;
    NSRange found = none;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (NSUInteger i = static_cast<NSUInteger>(start); i < length;) {
        if (breaks->characterIsMember(text->characterAtIndex(i))) {
            ++i;
            continue;
        }
        NSUInteger end = i;
        while (end < length && !breaks->characterIsMember(text->characterAtIndex(end))) ++end;
        ++words;
        if (found.length == 0 && m_misspellings.count(text->substringWithRange({i, end - i})->utf8())) found = {i, end - i};
        i = end;
    }
    if (wordCount) *wordCount = words;
    return found;
}

Ref<NSArray> NSSpellChecker::guessesForWordRange(NSRange range, const NSString* text, const NSString* language,
                                                 NSInteger tag) {
    CallLog::Call("NSSpellChecker::guessesForWordRange:inString:language:inSpellDocumentWithTag:",
                  CallLog::Raw{"{" + std::to_string(range.location) + ", " + std::to_string(range.length) + "}"}, text,
                  language, tag);
    auto guesses = NSMutableArray::array();
    if (!text) return guesses;
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_misspellings.find(text->substringWithRange(range)->utf8());
    if (it != m_misspellings.end())
        for (const std::string& g : it->second) guesses->addObject(NSString::from(g).get());
    return guesses;
}

BOOL NSSpellChecker::hasLearnedWord(const NSString* word) {
    CallLog::Call("NSSpellChecker::hasLearnedWord:", word);
    std::lock_guard<std::mutex> lock(m_mutex);
    return word && m_learned.count(word->utf8()) != 0;
}

void NSSpellChecker::SetMisspelling(const std::string& word, std::vector<std::string> guesses) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_misspellings[word] = std::move(guesses);
}

void NSSpellChecker::SetLearned(const std::string& word) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_learned.insert(word);
}

void NSSpellChecker::ResetForTesting() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_language = NSString::string();
    m_misspellings.clear();
    m_learned.clear();
}
