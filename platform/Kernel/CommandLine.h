// The engine's command-line parser.
#pragma once
#include <string>
#include <vector>

#include "String.h"

namespace Kernel {

// A name matches a whole argument, bare or with one or two leading dashes.
// Boolean options are true when present; text and int options take the next word.
class CommandLineArguments {
public:
    CommandLineArguments(int argc, char const* const* argv);
    ~CommandLineArguments();

    bool HasValue(const std::string& longName, const std::string& shortName) const;

    // Each stores the value (or the fallback) in out and answers whether the option was present.
    bool GetValue(const std::string& longName, const std::string& shortName, bool& out, bool fallback) const;
    bool GetValue(const std::string& longName, const std::string& shortName, StringT<TEncUtf8>& out,
                  const StringT<TEncUtf8>& fallback) const;
    bool GetValue(const std::string& longName, const std::string& shortName, int& out, int fallback) const;

    template <class T>
    T GetValue(const std::string& longName, const std::string& shortName, const T& fallback) const {
        T out{};
        GetValue(longName, shortName, out, fallback);
        return out;
    }

    const std::vector<std::string>& Words() const { return m_words; }

private:
    // Index of the first word naming the option, or -1.
    int Find(const std::string& longName, const std::string& shortName) const;
    std::vector<std::string> m_words;
};

}  // namespace Kernel
