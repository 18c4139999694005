// File system, paths and directory listings.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
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
    // The process's own folder for temporary files, made on first use (mode 0700, a fresh
    // unpredictable name) below TMPDIR, or /tmp when it is unset or empty, and made again if
    // it disappears. It is removed with everything in it when the process ends: on return
    // from main, on exit, and on a signal that ends the process (abort and crashes included).
    // Empty when no folder can be made; GetTemporaryDirectoryError then tells why.
    static Path GetTemporaryDirectory();
    static std::string GetTemporaryDirectoryError();
    static bool SetCurrentDirectory(const Path& path);
    static bool CreateDirectoryRecursive(const Path& path);
    static bool Exists(const Path& path);
    static bool IsFile(const Path& path);
    static bool IsDirectory(const Path& path);
    static bool DeleteFile(const Path& path);
    // Removes the entries of folder whose names match, from one listing of names: no entry is
    // looked at but its name, so a folder of many other files costs one read of its names. A
    // folder entry is never removed.
    static void DeleteFilesNamed(const Path& folder, const std::function<bool(std::string_view name)>& matches);
    // Writes the whole text to a temporary file beside path and renames it into place,
    // so a failed write never leaves a file that looks complete (see AtomicFile).
    static bool WriteFileAtomically(const Path& path, std::string_view contents);
    // The same, with the reason for a failure ("No space left on device", ...).
    static bool WriteFileAtomically(const Path& path, std::string_view contents, std::string& reason);
    // Why ReadFile failed. A missing file is told apart, as many files are optional.
    struct ReadError {
        bool missing = false;
        bool tooLarge = false;  // longer than the reader's limit
        std::string reason;     // e.g. "it is a FIFO, not a regular file"
    };
    // Every file the program reads goes through here: it is opened without blocking and must
    // be a regular file, so a FIFO or a device is refused at once instead of stalling the reader.
    // A file longer than limit bytes is refused before anything is allocated or read ("it is
    // 6442450944 bytes, more than the limit of 16777216 bytes"), and so is one that grows past
    // the limit while it is read: each reader passes the most its kind of file can sensibly hold.
    static bool ReadFile(const Path& path, std::string& contents, uint64_t limit, ReadError* error = nullptr);
    // Without a limit of the caller's: only for files whose format bounds them.
    static bool ReadFile(const Path& path, std::string& contents, ReadError* error = nullptr);
};

inline constexpr uint64_t kMebibyte = uint64_t(1) << 20;

// A regular file kept open, for readers that want a few parts of a file that may be large: opened
// and refused as ReadFile opens and refuses one, and read where each part lies, so that the rest
// costs neither time nor memory. What it reads is the file it opened, also after a rename over it.
class ReadOnlyFile : public Countable {
public:
    // Null, with the reason in error, when the file cannot be opened or is longer than limit.
    static Counted<ReadOnlyFile> Open(const Path& path, uint64_t limit, FileSystem::ReadError* error = nullptr);
    ~ReadOnlyFile() override;
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Its length when it was opened.
    uint64_t GetSize() const { return m_size; }
    // Up to length bytes from offset into out, fewer only where the file ends; false, with the
    // reason, when it cannot be read. Safe on several threads at once.
    bool ReadAt(uint64_t offset, size_t length, std::string& out, std::string& reason) const;

private:
    ReadOnlyFile(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    int m_fd;
    uint64_t m_size;
};

// What a child process may leave behind when a signal ends it where it cannot tidy up (SIGKILL),
// or where it has no handler for its own files: its temporary folder below TMPDIR and the
// temporary files of its AtomicFiles. Both names carry the process's id and a token: the one its
// parent handed it in kTokenVariable, else one it made itself. Ids repeat across pid namespaces
// (containers sharing one TMPDIR), tokens do not, so the parent can tell its child's files from
// those of every other process. Prepare before the child starts (in the folder and environment
// the child gets) and put Token in its environment, SetProcess once it runs, and Remove after it
// died of a signal but before it is reaped. Remove is safe inside a signal handler; it takes away
// only what is owned by this user and carries the child's id and token, and works from the
// folders as they were at Prepare: a symbolic link found in place of the child's folder or any
// folder inside it is removed as a link or left alone, never followed.
class ChildLeftovers {
public:
    static constexpr char kTokenVariable[] = "QUIREVALE_CHILD_TOKEN";

    ChildLeftovers() = default;
    ~ChildLeftovers();
    ChildLeftovers(const ChildLeftovers&) = delete;
    ChildLeftovers& operator=(const ChildLeftovers&) = delete;

    // besideFile: temporaries in its folder whose names begin with its file name are the child's
    // too (a unit's baseline, metric file and images), as are those that begin with as much of
    // it as AtomicFile keeps where the whole would not fit; empty for none. Makes a fresh token.
    void Prepare(const Path& besideFile);
    const char* Token() const { return m_token; }
    void SetProcess(int pid) { m_pid = pid; }
    void Remove() const;

private:
    void Close();

    int m_temporaryBase = -1;  // the folder the child makes its temporary folder in
    int m_besideFolder = -1;
    char m_besidePrefix[256] = {};
    size_t m_besideNameMax = 0;  // the longest name the folder takes
    char m_token[16] = {};
    int m_pid = 0;
};

// A file that appears under its name whole or not at all. The data goes to a new file in the
// target's folder, created exclusively under a fresh unpredictable name and never through a
// symbolic link, so nothing planted beside the target can redirect the write; Commit renames
// it over the target (a link at the target is replaced, not followed). A file that is not
// committed is removed.
class AtomicFile {
public:
    explicit AtomicFile(const Path& target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // False when the temporary file could not be made; GetError then tells why.
    bool IsOpen() const { return m_stream != nullptr; }
    // Where to write; owned by this object.
    FILE* GetStream() const { return m_stream; }
    bool Write(std::string_view data);
    // Finishes the file and moves it into place; false, with the reason, when any step failed.
    bool Commit();
    // Gives the file up.
    void Discard();
    const std::string& GetError() const { return m_error; }
    const std::string& GetTemporaryPath() const { return m_temporaryPath; }

private:
    void Fail(const std::string& what, int error);

    std::string m_target;
    std::string m_temporaryPath;
    FILE* m_stream = nullptr;
    std::string m_error;
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
