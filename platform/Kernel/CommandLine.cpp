#include "CommandLine.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace Kernel {

namespace {
bool Matches(const std::string& word, const std::string& name) {
    if (name.empty()) return false;
    std::string_view w(word);
    if (w.starts_with("--")) w.remove_prefix(2);
    else if (w.starts_with("-")) w.remove_prefix(1);
    return w == name;
}
}  // namespace

CommandLineArguments::CommandLineArguments(int argc, char const* const* argv) {
    for (int i = 1; i < argc && argv; ++i)
        if (argv[i]) m_words.emplace_back(argv[i]);
}

CommandLineArguments::~CommandLineArguments() = default;

int CommandLineArguments::Find(const std::string& longName, const std::string& shortName) const {
    for (size_t i = 0; i < m_words.size(); ++i)
        if (Matches(m_words[i], longName) || Matches(m_words[i], shortName)) return static_cast<int>(i);
    return -1;
}

bool CommandLineArguments::HasValue(const std::string& longName, const std::string& shortName) const {
    return Find(longName, shortName) >= 0;
}

bool CommandLineArguments::GetValue(const std::string& longName, const std::string& shortName, bool& out,
                                    bool fallback) const {
    bool present = Find(longName, shortName) >= 0;
    out = present ? true : fallback;
    return present;
}

bool CommandLineArguments::GetValue(const std::string& longName, const std::string& shortName,
                                    StringT<TEncUtf8>& out, const StringT<TEncUtf8>& fallback) const {
    int i = Find(longName, shortName);
    if (i < 0 || static_cast<size_t>(i) + 1 >= m_words.size()) {
        out = fallback;
        return false;
    }
    out = StringT<TEncUtf8>(m_words[i + 1]);
    return true;
}

bool CommandLineArguments::GetValue(const std::string& longName, const std::string& shortName, int& out,
                                    int fallback) const {
    int i = Find(longName, shortName);
    if (i < 0 || static_cast<size_t>(i) + 1 >= m_words.size()) {
        out = fallback;
        return false;
    }
    const std::string& text = m_words[i + 1];
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        out = fallback;
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

}  // namespace Kernel
