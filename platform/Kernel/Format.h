// Numbered-placeholder formatting: "%1" to "%9" are replaced by the arguments.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "String.h"

namespace Kernel {

// Appends fmt to out with each "%N" (N from 1 to the argument count) replaced by
// argument N; any other '%' stays as it is.
void AppendFormatVT(StringT<TEncUtf8>& out, std::string_view fmt, const std::vector<StringT<TEncUtf8>>& args);

StringT<TEncUtf8> Format(std::string_view fmt, std::initializer_list<StringT<TEncUtf8>> args);

// Plain decimal, no grouping.
StringT<TEncUtf8> ToStringT(int64_t value);
StringT<TEncUtf8> ToStringT(uint64_t value);
inline StringT<TEncUtf8> ToStringT(int value) { return ToStringT(static_cast<int64_t>(value)); }
inline StringT<TEncUtf8> ToStringT(unsigned value) { return ToStringT(static_cast<uint64_t>(value)); }

// The character that begins at text[at], as every escaper of outside text reads it. A byte that
// begins no well-formed UTF-8 sequence (a stray continuation byte, a truncated or overlong
// sequence, a surrogate, a code point past U+10FFFF) is a character of its own: one byte, not
// valid, with the byte's value as its code. Only printable ASCII and valid characters that are
// neither controls (C0, DEL, C1) nor line or paragraph separators are shown as they are: any
// other byte may act on a terminal, or break a line, in a console or a build log.
struct TextCharacter {
    size_t length;
    char32_t code;
    bool valid;
    bool shown;
};
TextCharacter CharacterAt(std::string_view text, size_t at);

// Text from outside (a path, an input line, a document's text) as every console line, log and
// message shows it: line breaks and tabs as \n, \r and \t, each other byte of a character that
// is not shown (see CharacterAt) as \xNN, and each "#" of a TeamCity service-message marker
// "##teamcity[" as \x23, so it reads as one line, cannot act on the terminal and cannot be taken
// for a service message at any column. Anything else, a backslash included, stays as it is: an
// ordinary path shows unchanged, and showing a shown text again changes nothing.
std::string EscapeForMessage(std::string_view text);

// Text from outside as it is, but, when longer than limit, cut to that prefix (never inside a
// character) followed by "[...]": for text that is escaped later, where it is shown.
std::string Cut(std::string_view text, size_t limit);

// User input quoted back in a message: cut as above and escaped. A path may be as long as the
// system allows, so that a long but real path is shown whole.
inline constexpr size_t kExcerptBytes = 128;
inline constexpr size_t kPathExcerptBytes = 4096;
std::string Excerpt(std::string_view text, size_t limit = kExcerptBytes);

}  // namespace Kernel
