// A main bundle whose strings table holds only the entries a test gives, so that a text looked up
// in another context than its entry's falls back to the plain text and shows.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Foundation/Foundation.h"

class ScopedStringsBundle {
public:
    using Entries = std::vector<std::pair<std::string, std::string>>;  // "text [context]", translation

    explicit ScopedStringsBundle(const Entries& entries) : m_previous(NSBundle::mainBundle()->bundlePath()) {
        static int serial = 0;
        m_root = std::filesystem::temp_directory_path() /
                 ("qv-strings-" + std::to_string(getpid()) + "-" + std::to_string(++serial));
        std::filesystem::remove_all(m_root);
        std::filesystem::create_directories(m_root / "Contents/Resources/en.lproj");
        std::ofstream out(m_root / "Contents/Resources/en.lproj/Localizable.strings", std::ios::binary);
        for (const auto& [key, value] : entries) out << Quoted(key) << " = " << Quoted(value) << ";\n";
        out.close();
        NSBundle::setMainBundlePath(m_root.string());
    }
    ~ScopedStringsBundle() {
        NSBundle::setMainBundlePath(m_previous);
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    ScopedStringsBundle(const ScopedStringsBundle&) = delete;
    ScopedStringsBundle& operator=(const ScopedStringsBundle&) = delete;

    // The key a text has in a context: "text [context]".
    static std::string Key(const std::string& text, const std::string& context) { return text + " [" + context + "]"; }

private:
    static std::string Quoted(const std::string& s) {
        std::string out = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\') out += '\\';
            if (c == '\r') out += "\\r";
            else if (c == '\n') out += "\\n";
            else out += c;
        }
        return out + "\"";
    }

    std::string m_previous;
    std::filesystem::path m_root;
};
