// File system, paths and directory listings.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "Counted.h"
#include "String.h"

namespace Kernel {

using Path = StringT<TEncUtf8>;

class FileSystem {
public:
    static Path GetExecutablePath();
    static Path GetExecutableDirectory();
    static Path GetCurrentDirectory();
    // The process's folder for temporary files: TMPDIR, or "/tmp" when it is unset or empty.
    static Path GetTemporaryDirectory();
    static bool SetCurrentDirectory(const Path& path);
    static bool CreateDirectoryRecursive(const Path& path);
    static bool Exists(const Path& path);
    static bool IsFile(const Path& path);
    static bool IsDirectory(const Path& path);
    static bool DeleteFile(const Path& path);
    // Writes the whole text to a temporary file beside path and renames it into place,
    // so a failed write never leaves a file that looks complete.
    static bool WriteFileAtomically(const Path& path, std::string_view contents);
    // Why ReadFile failed. A missing file is told apart, as many files are optional.
    struct ReadError {
        bool missing = false;
        std::string reason;  // e.g. "it is a FIFO, not a regular file"
    };
    // Every file the program reads goes through here: it is opened without blocking and must
    // be a regular file, so a FIFO or a device is refused at once instead of stalling the reader.
    static bool ReadFile(const Path& path, std::string& contents, ReadError* error = nullptr);
};

class PathTraitsUnix {
public:
    // Joins with exactly one separator between the parts.
    static Path Append(const Path& base, std::string_view component);
    static bool IsRelative(const Path& path);
    // Lexical clean-up: repeated separators, "." and ".." components, a trailing separator.
    static Path Canonicalize(const Path& path);
};

// One-level directory listing, in name order. Symbolic links are reported as
// files when they lead to a file and as other entries otherwise, so walks never follow them.
class FileEnumerator : public Countable {
public:
    enum class Kind { File, Directory, Other };
    struct Entry {
        Path name;
        Kind kind;
    };

    static Counted<FileEnumerator> Create(const Path& directory, bool recursive);
    bool Next(Entry& entry);
    bool IsValid() const { return m_valid; }
    const std::vector<Entry>& Entries() const { return m_entries; }

private:
    std::vector<Entry> m_entries;
    size_t m_next = 0;
    bool m_valid = false;
};

}  // namespace Kernel
