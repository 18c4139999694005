#include "FileSystem.h"

#include "Dispatch.h"
#include "Format.h"
#include "OutOfMemory.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <string>

namespace Kernel {

Path FileSystem::GetExecutablePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return Path();
    return Path(buf, static_cast<size_t>(n));
}

namespace {
// The folder a path names its file in: "." for a bare name, "/" at the root.
std::string_view FolderOf(std::string_view path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
}  // namespace

Path FileSystem::GetExecutableDirectory() { return Path(FolderOf(GetExecutablePath().View())); }

Path FileSystem::GetCurrentDirectory() {
    char buf[PATH_MAX];
    if (!getcwd(buf, sizeof buf)) return Path();
    return Path(buf);
}

namespace {

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Maps the pages of a large fresh buffer on every core at once, before it is written: each
// page's first touch is a fault of its own, and one thread faulting in a file of tens of
// megabytes takes longer than reading it. Where the system cannot, the pages fault as written.
constexpr size_t kPopulatePart = size_t(2) << 20;

void PopulatePages(char* begin, size_t bytes) {
    constexpr size_t kPage = 4096;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + kPage - 1) & ~uintptr_t(kPage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + bytes) & ~uintptr_t(kPage - 1);
    if (end <= first) return;
    struct Range {
        uintptr_t first, end;
    } range{first, end};
    Dispatch::DispatchParallelFor(
        [](void* context, size_t part) {
            const Range& r = *static_cast<const Range*>(context);
            const uintptr_t from = r.first + part * kPopulatePart;
            madvise(reinterpret_cast<void*>(from), std::min<uintptr_t>(kPopulatePart, r.end - from),
                    MADV_POPULATE_WRITE);
        },
        (end - first + kPopulatePart - 1) / kPopulatePart, &range, 21, 2, 0);
}

std::string ErrorText(int error) {
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);  // the GNU form answers the text
}

// Letters and digits from the system's random source, for names nobody can guess.
std::string RandomName(size_t length) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[64];
    length = std::min(length, sizeof bytes);
    if (getrandom(bytes, length, 0) != ssize_t(length)) {
        std::random_device device;
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(device());
    }
    std::string name(length, 'x');
    for (size_t i = 0; i < length; ++i) name[i] = kAlphabet[bytes[i] % (sizeof kAlphabet - 1)];
    return name;
}

bool IsLetterOrDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Whether text[from, from + count) are letters and digits and end the text.
bool EndsWithRandomPart(const char* text, size_t from, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (!IsLetterOrDigit(text[from + i])) return false;
    return text[from + count] == 0;
}

bool StartsWith(const char* text, const char* prefix, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (text[i] != prefix[i]) return false;
    return true;
}

constexpr size_t kTokenLength = 12;
constexpr size_t kRandomLength = 12;  // the random part that ends an AtomicFile's temporary

// The longest name the folder takes, by the file system's own limit.
size_t NameMaxOf(long limit) { return limit > 0 ? size_t(limit) : 255; }

// How much of name (length bytes) to keep in at most room bytes: all of it where it fits, else
// as much as fits cut at the end of a UTF-8 character, so that a file system that takes only
// whole characters takes the cut name too. Nothing but arithmetic: safe inside a signal handler.
size_t CutToFit(const char* name, size_t length, size_t room) {
    if (length <= room) return length;
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

// The token in this process's names: the one its parent handed it, else one of its own, so that
// its names always hold a part that nobody else can guess. A fork reads it again: its names carry
// its own id, and the parent it shares the token with still tells them apart.
std::string ProcessToken() {
    struct Token {
        std::mutex mutex;
        pid_t owner = 0;
        std::string text;
    };
    static auto* token = new Token;  // never destroyed: files may be written during exit
    std::lock_guard<std::mutex> lock(token->mutex);
    if (token->owner != getpid()) {
        const char* given = std::getenv(ChildLeftovers::kTokenVariable);
        token->text = given && EndsWithRandomPart(given, 0, kTokenLength) ? given : RandomName(kTokenLength);
        token->owner = getpid();
    }
    return token->text;
}

// ---- Removal of the temporary folder, safe inside a signal handler ------------------------
// Only system calls and fixed buffers: the folder goes also when the process dies of a signal.

struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// Calls remove(folder, name) for every entry of the folder, over again until a pass removes
// nothing (removals may shift the listing). System calls only: safe inside a signal handler.
template <typename Remove>
void RemoveEntries(int folder, Remove&& remove) {
    alignas(8) char buffer[4096];
    for (int pass = 0; pass < 16; ++pass) {
        if (lseek(folder, 0, SEEK_SET) != 0) return;
        bool removed = false;
        long n;
        while ((n = syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0) {
            for (long at = 0; at < n;) {
                const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                at += entry->d_reclen;
                if (remove(folder, entry->d_name)) removed = true;
            }
        }
        if (!removed) return;
    }
}

void RemoveContents(int folder, int depth) {
    RemoveEntries(folder, [depth](int parent, const char* name) {
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) return false;
        if (unlinkat(parent, name, 0) == 0) return true;
        if (depth >= 8) return false;
        const int sub = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) return false;
        RemoveContents(sub, depth + 1);
        close(sub);
        return unlinkat(parent, name, AT_REMOVEDIR) == 0;
    });
}

char g_cleanupPath[PATH_MAX];
std::atomic<bool> g_cleanupArmed{false};
std::atomic<pid_t> g_cleanupOwner{0};
struct sigaction g_previousActions[NSIG];

// Removes the temporary folder of this process (never that of the process it was forked from).
void RemoveTemporaryFolderNow() {
    if (g_cleanupOwner.load() != getpid() || !g_cleanupArmed.exchange(false)) return;
    const int folder = open(g_cleanupPath, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder >= 0) {
        RemoveContents(folder, 0);
        close(folder);
    }
    rmdir(g_cleanupPath);
}

// The signals whose default action ends the process.
constexpr int kEndingSignals[] = {SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTERM,
                                  SIGINT,  SIGHUP,  SIGQUIT, SIGPIPE, SIGXCPU, SIGXFSZ, SIGALRM};

// Removes the folder, then lets the signal take its course as it would have without us.
void OnEndingSignal(int signal) {
    const int saved = errno;
    RemoveTemporaryFolderNow();
    sigaction(signal, &g_previousActions[signal], nullptr);
    errno = saved;
    raise(signal);  // blocked until this handler returns, then handled as before
}

void InstallRemovalHooks() {
    std::atexit(RemoveTemporaryFolderNow);
    for (int signal : kEndingSignals) {
        struct sigaction previous;
        if (sigaction(signal, nullptr, &previous) != 0) continue;
        if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler == SIG_IGN) continue;  // cannot end us
        g_previousActions[signal] = previous;
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = OnEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_ONSTACK;
        sigaction(signal, &action, nullptr);
    }
}

struct TemporaryFolder {
    std::mutex mutex;
    std::string path;
    std::string error;
    pid_t owner = 0;
    bool hooksInstalled = false;
};

TemporaryFolder& Temporary() {
    static auto* folder = new TemporaryFolder;  // never destroyed: exit handlers use it
    return *folder;
}

// The folder below which temporary folders are made: TMPDIR, or /tmp when it is unset or empty.
std::string TemporaryBase() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    if (base.front() != '/') base = PathTraitsUnix::Append(FileSystem::GetCurrentDirectory(), base).ToStd();
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base;
}

// Decimal digits of a non-negative number into out (at least 21 bytes), without the C library,
// so that a signal handler may use it; answers the length.
size_t FormatDecimal(int64_t value, char* out) {
    char digits[24];
    size_t n = 0;
    uint64_t v = value < 0 ? 0 : uint64_t(value);
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    for (size_t i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    out[n] = 0;
    return n;
}

std::string TemporaryFolderPrefix(pid_t pid) {
    char digits[24];
    FormatDecimal(pid, digits);
    return std::string("quirevale-") + digits + "-" + ProcessToken() + "-";
}

bool IsOwnFolder(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

}  // namespace

Path FileSystem::GetTemporaryDirectory() {
    TemporaryFolder& folder = Temporary();
    std::lock_guard<std::mutex> lock(folder.mutex);
    if (!folder.path.empty() && folder.owner == getpid() && IsOwnFolder(folder.path)) return Path(folder.path);

    const std::string base = TemporaryBase();
    // The process's id and token in the name let a parent find what a child killed by SIGKILL left.
    std::string pattern = (base == "/" ? std::string() : base) + "/" + TemporaryFolderPrefix(getpid()) + "XXXXXX";
    if (pattern.size() >= sizeof g_cleanupPath || !mkdtemp(pattern.data())) {
        const int error = pattern.size() >= sizeof g_cleanupPath ? ENAMETOOLONG : errno;
        folder.error = "no private temporary folder can be made in " + base + ": " + ErrorText(error);
        folder.path.clear();
        return Path();
    }
    folder.path = pattern;
    folder.error.clear();
    folder.owner = getpid();
    g_cleanupArmed = false;
    std::memcpy(g_cleanupPath, pattern.c_str(), pattern.size() + 1);
    g_cleanupOwner = folder.owner;
    g_cleanupArmed = true;
    if (!folder.hooksInstalled) {
        InstallRemovalHooks();
        folder.hooksInstalled = true;
    }
    return Path(folder.path);
}

std::string FileSystem::GetTemporaryDirectoryError() {
    TemporaryFolder& folder = Temporary();
    std::lock_guard<std::mutex> lock(folder.mutex);
    return folder.error;
}

bool FileSystem::SetCurrentDirectory(const Path& path) { return chdir(path.c_str()) == 0; }

bool FileSystem::CreateDirectoryRecursive(const Path& path) {
    std::string p = path.ToStd();
    if (p.empty()) return false;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i == p.size() || p[i] == '/') {
            std::string part = p.substr(0, i);
            if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    return IsDirectory(path);
}

bool FileSystem::Exists(const Path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool FileSystem::IsFile(const Path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileSystem::IsDirectory(const Path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSystem::DeleteFile(const Path& path) { return unlink(path.c_str()) == 0; }

void FileSystem::DeleteFilesNamed(const Path& folder, const std::function<bool(std::string_view name)>& matches) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    DIR* listing = fdopendir(fd);
    if (!listing) {
        close(fd);
        return;
    }
    std::vector<std::string> names;  // removed after the listing, which removals would disturb
    while (struct dirent* entry = readdir(listing))
        if (matches(entry->d_name)) names.emplace_back(entry->d_name);
    for (const std::string& name : names) unlinkat(fd, name.c_str(), 0);  // fails on a folder, as it should
    closedir(listing);
}

bool FileSystem::WriteFileAtomically(const Path& path, std::string_view contents) {
    std::string reason;
    return WriteFileAtomically(path, contents, reason);
}

bool FileSystem::WriteFileAtomically(const Path& path, std::string_view contents, std::string& reason) {
    AtomicFile file(path);
    if (file.Write(contents) && file.Commit()) return true;
    reason = file.GetError();
    return false;
}

AtomicFile::AtomicFile(const Path& target) : m_target(target.ToStd()) {
    if (m_target.empty()) {
        m_error = "no file name";
        return;
    }
    // "<target>.tmp-<pid>-<token>-<12 letters and digits>": the id and token let a parent find a
    // killed child's. Where that name would not fit the folder but the target's does, the
    // target's name is cut to what fits (see CutToFit); ChildLeftovers::Remove makes the same cut.
    const size_t slash = m_target.rfind('/');
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const size_t nameMax = NameMaxOf(pathconf(std::string(FolderOf(m_target)).c_str(), _PC_NAME_MAX));
    const std::string suffix = ".tmp-" + std::to_string(getpid()) + "-" + ProcessToken() + "-";
    size_t kept = m_target.size() - nameAt;
    if (kept <= nameMax) {
        const size_t room = nameMax > suffix.size() + kRandomLength ? nameMax - suffix.size() - kRandomLength : 0;
        kept = CutToFit(m_target.data() + nameAt, kept, room);
    }
    const std::string stem = m_target.substr(0, nameAt + kept) + suffix;
    // O_EXCL with O_NOFOLLOW: an existing name, a symbolic link included, is never opened.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + RandomName(kRandomLength);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            Fail("cannot create a file beside it", errno);
            return;
        }
        m_temporaryPath = std::move(name);
        m_stream = fdopen(fd, "wb");
        if (!m_stream) {
            const int error = errno;
            close(fd);
            unlink(m_temporaryPath.c_str());
            m_temporaryPath.clear();
            Fail("cannot open the temporary file", error);
        }
        return;
    }
    m_error = "cannot create a file beside it: every name tried was taken";
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Fail(const std::string& what, int error) {
    if (m_error.empty()) m_error = what + ": " + ErrorText(error);
}

bool AtomicFile::Write(std::string_view data) {
    if (!m_stream || !m_error.empty()) return false;
    if (std::fwrite(data.data(), 1, data.size(), m_stream) == data.size()) return true;
    Fail("cannot write the file", errno ? errno : EIO);
    return false;
}

bool AtomicFile::Commit() {
    if (!m_stream) return false;
    bool ok = m_error.empty();
    if (ok && std::fflush(m_stream) != 0) {
        Fail("cannot write the file", errno);
        ok = false;
    }
    FILE* stream = m_stream;
    m_stream = nullptr;
    if (std::fclose(stream) != 0 && ok) {
        Fail("cannot finish the file", errno);
        ok = false;
    }
    if (ok && std::rename(m_temporaryPath.c_str(), m_target.c_str()) != 0) {
        Fail("cannot move the finished file into place", errno);
        ok = false;
    }
    if (!ok) unlink(m_temporaryPath.c_str());
    m_temporaryPath.clear();
    return ok;
}

void AtomicFile::Discard() {
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    if (!m_temporaryPath.empty()) {
        unlink(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
}

namespace {

// Copies text with its NUL when it fits; else leaves out empty.
void CopyBounded(char* out, size_t size, std::string_view text) {
    out[0] = 0;
    if (text.size() >= size) return;
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = 0;
}

}  // namespace

ChildLeftovers::~ChildLeftovers() { Close(); }

void ChildLeftovers::Close() {
    if (m_temporaryBase >= 0) close(m_temporaryBase);
    if (m_besideFolder >= 0) close(m_besideFolder);
    m_temporaryBase = m_besideFolder = -1;
}

void ChildLeftovers::Prepare(const Path& besideFile) {
    Close();
    m_pid = 0;
    m_besidePrefix[0] = 0;
    m_besideNameMax = 0;
    CopyBounded(m_token, sizeof m_token, RandomName(kTokenLength));
    // Both folders are opened now, through whatever links their configured paths hold (TMPDIR or
    // a suite's folder may well be one): Remove works in the folders the child started with, and
    // a link swapped in for either later is never followed.
    m_temporaryBase = open(TemporaryBase().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const std::string_view file = besideFile.View();
    const size_t slash = file.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? file : file.substr(slash + 1);
    if (name.empty() || name.size() >= sizeof m_besidePrefix) return;
    CopyBounded(m_besidePrefix, sizeof m_besidePrefix, name);
    m_besideFolder = open(std::string(FolderOf(file)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_besideFolder >= 0) m_besideNameMax = NameMaxOf(fpathconf(m_besideFolder, _PC_NAME_MAX));
}

void ChildLeftovers::Remove() const {
    if (m_pid <= 0 || !m_token[0]) return;
    const uid_t user = geteuid();
    // "-<pid>-<token>-", in both kinds of name just before the random part. The token alone tells
    // the child's names from those of a process with the same id in another pid namespace; the
    // id tells them from those of the child's own children, which may have inherited the token.
    char mark[64] = "-";
    size_t markLength = 1;
    markLength += FormatDecimal(m_pid, mark + markLength);
    mark[markLength++] = '-';
    const size_t tokenLength = std::strlen(m_token);
    std::memcpy(mark + markLength, m_token, tokenLength);
    markLength += tokenLength;
    mark[markLength++] = '-';
    // A name only the child can have made needs no check of its age.
    auto isOwn = [&](int folder, const char* name, bool directory) {
        struct stat st;
        return fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
               (directory ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) && st.st_uid == user;
    };

    // Its temporary folder, "quirevale-<pid>-<token>-XXXXXX", with everything in it.
    if (m_temporaryBase >= 0) {
        constexpr size_t kStemLength = 9;  // "quirevale"
        RemoveEntries(m_temporaryBase, [&](int folder, const char* name) {
            if (!StartsWith(name, "quirevale", kStemLength) || !StartsWith(name + kStemLength, mark, markLength) ||
                !EndsWithRandomPart(name, kStemLength + markLength, 6) || !isOwn(folder, name, true))
                return false;
            const int sub = openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) return false;
            RemoveContents(sub, 0);
            close(sub);
            return unlinkat(folder, name, AT_REMOVEDIR) == 0;
        });
    }

    // Its AtomicFile temporaries beside the file: "<name...>.tmp-<pid>-<token>-<12 letters and
    // digits>", or, where the folder's limit left no room for that, the file's name cut exactly
    // as AtomicFile cuts it before ".tmp-".
    if (m_besideFolder >= 0 && m_besidePrefix[0]) {
        const size_t prefixLength = std::strlen(m_besidePrefix);
        const size_t suffixLength = 4 + markLength + kRandomLength;
        const size_t room = m_besideNameMax > suffixLength ? m_besideNameMax - suffixLength : 0;
        const size_t cut = CutToFit(m_besidePrefix, prefixLength, room);
        RemoveEntries(m_besideFolder, [&](int folder, const char* name) {
            const size_t length = std::strlen(name);
            if (length < suffixLength) return false;
            const size_t markerAt = length - suffixLength;
            const bool whole = markerAt >= prefixLength && StartsWith(name, m_besidePrefix, prefixLength);
            const bool shortened = cut < prefixLength && markerAt == cut && StartsWith(name, m_besidePrefix, cut);
            if ((!whole && !shortened) || !StartsWith(name + markerAt, ".tmp", 4) ||
                !StartsWith(name + markerAt + 4, mark, markLength) ||
                !EndsWithRandomPart(name, length - kRandomLength, kRandomLength) || !isOwn(folder, name, false))
                return false;
            return unlinkat(folder, name, 0) == 0;
        });
    }
}

namespace {
const char* KindOfNonRegularFile(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

bool ReadFailed(FileSystem::ReadError* error, int code) {
    if (error) {
        error->missing = code == ENOENT || code == ENOTDIR;
        error->reason = std::strerror(code);
    }
    return false;
}

bool NotRegular(FileSystem::ReadError* error, mode_t mode) {
    if (error) {
        error->missing = false;
        error->reason = std::string("it is ") + KindOfNonRegularFile(mode) + ", not a regular file";
    }
    return false;
}

bool TooLarge(FileSystem::ReadError* error, const std::string& reason) {
    if (error) {
        error->missing = false;
        error->tooLarge = true;
        error->reason = reason;
    }
    return false;
}

std::string SizeOverLimit(uint64_t size, uint64_t limit) {
    return "it is " + std::to_string(size) + " bytes, more than the limit of " + std::to_string(limit) + " bytes";
}
}  // namespace

bool FileSystem::ReadFile(const Path& path, std::string& contents, ReadError* error) {
    return ReadFile(path, contents, UINT64_MAX, error);
}

namespace {
// Opens a regular file of at most limit bytes for reading, blocking reads; -1 when it is not one.
int OpenRegular(const Path& path, uint64_t limit, FileSystem::ReadError* error, struct stat& st) {
    // Refused before it is opened where possible: opening some devices has effects of its own.
    if (stat(path.c_str(), &st) != 0) return ReadFailed(error, errno), -1;
    if (!S_ISREG(st.st_mode)) return NotRegular(error, st.st_mode), -1;
    if (uint64_t(st.st_size) > limit) return TooLarge(error, SizeOverLimit(st.st_size, limit)), -1;
    // Without O_NONBLOCK, a FIFO swapped in after the check would block the open until a writer came.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return ReadFailed(error, errno), -1;
    if (fstat(fd, &st) != 0) {
        int code = errno;
        close(fd);
        return ReadFailed(error, code), -1;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return NotRegular(error, st.st_mode), -1;
    }
    if (uint64_t(st.st_size) > limit) {
        close(fd);
        return TooLarge(error, SizeOverLimit(st.st_size, limit)), -1;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}
}  // namespace

bool FileSystem::ReadFile(const Path& path, std::string& contents, uint64_t limit, ReadError* error) {
    contents.clear();
    if (error) *error = ReadError();
    struct stat st;
    int fd = OpenRegular(path, limit, error, st);
    if (fd < 0) return false;
    // Read straight into the string, sized from the file's length (one byte more, to meet the
    // end without growing) where it has one, and never past one byte more than the limit: a file
    // that grows while it is read, or has no length (/proc), cannot make the reader take more.
    const uint64_t most = limit == UINT64_MAX ? limit : limit + 1;
    auto capped = [most](uint64_t size) { return size_t(std::min<uint64_t>(size, most)); };
    const size_t first = capped(st.st_size > 0 ? uint64_t(st.st_size) + 1 : 65536);
    // Memory that cannot be had is told with the file's name; the file is closed first.
    auto grow = [&](size_t bytes, bool populate) {
        try {
            if (populate) {
                contents.reserve(bytes);
                PopulatePages(contents.data(), contents.capacity());
            }
            contents.resize(bytes);
        } catch (const std::bad_alloc&) {
            close(fd);
            std::string().swap(contents);  // what was read goes back before the name is made
            char what[256] = "the contents of a file";
            try {
                std::snprintf(what, sizeof what, "the contents of the file '%s'", Excerpt(path.ToStd(), 160).c_str());
            } catch (const std::bad_alloc&) {
            }
            ThrowOutOfMemory(what, bytes);
        }
    };
    grow(first, first >= (size_t(8) << 20));
    size_t used = 0;
    for (;;) {
        if (used == contents.size()) {
            if (used >= most) break;
            grow(capped(uint64_t(contents.size()) * 2), false);
        }
        ssize_t n = read(fd, contents.data() + used, contents.size() - used);
        if (n > 0) {
            used += static_cast<size_t>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            int code = errno;
            close(fd);
            contents.clear();
            return ReadFailed(error, code);
        }
    }
    close(fd);
    if (used > limit) {
        contents.clear();
        contents.shrink_to_fit();
        return TooLarge(error, "it holds more than the limit of " + std::to_string(limit) + " bytes");
    }
    contents.resize(used);
    return true;
}

Counted<ReadOnlyFile> ReadOnlyFile::Open(const Path& path, uint64_t limit, FileSystem::ReadError* error) {
    if (error) *error = FileSystem::ReadError();
    struct stat st;
    const int fd = OpenRegular(path, limit, error, st);
    if (fd < 0) return {};
    return Counted<ReadOnlyFile>(new ReadOnlyFile(fd, uint64_t(st.st_size)));
}

ReadOnlyFile::~ReadOnlyFile() { close(m_fd); }

bool ReadOnlyFile::ReadAt(uint64_t offset, size_t length, std::string& out, std::string& reason) const {
    out.clear();
    if (length >= (size_t(8) << 20)) {
        out.reserve(length);
        PopulatePages(out.data(), out.capacity());
    }
    out.resize(length);
    size_t used = 0;
    while (used < length) {
        const ssize_t n = pread(m_fd, out.data() + used, length - used, off_t(offset + used));
        if (n > 0) {
            used += size_t(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            reason = ErrorText(errno);
            out.clear();
            return false;
        }
    }
    out.resize(used);
    return true;
}

Path PathTraitsUnix::Append(const Path& base, std::string_view component) {
    std::string r = base.ToStd();
    while (!component.empty() && component.front() == '/') component.remove_prefix(1);
    if (!r.empty() && r.back() != '/' && !component.empty()) r.push_back('/');
    r.append(component);
    return Path(r);
}

bool PathTraitsUnix::IsRelative(const Path& path) { return path.IsEmpty() || path.c_str()[0] != '/'; }

Path PathTraitsUnix::Canonicalize(const Path& path) {
    std::string_view v = path.View();
    bool absolute = !v.empty() && v.front() == '/';
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i <= v.size()) {
        size_t j = v.find('/', i);
        if (j == std::string_view::npos) j = v.size();
        std::string_view part = v.substr(i, j - i);
        if (part.empty() || part == ".") {
        } else if (part == "..") {
            if (!parts.empty() && parts.back() != "..") parts.pop_back();
            else if (!absolute) parts.push_back(part);
        } else {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string r = absolute ? "/" : "";
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k) r.push_back('/');
        r.append(parts[k]);
    }
    if (r.empty()) r = ".";
    return Path(r);
}

Counted<FileEnumerator> FileEnumerator::Create(const Path& directory, bool) {
    Counted<FileEnumerator> e(new FileEnumerator);
    DIR* d = opendir(directory.c_str());
    if (!d) return e;
    e->m_valid = true;
    while (struct dirent* de = readdir(d)) {
        std::string_view name(de->d_name);
        if (name == "." || name == "..") continue;
        Path full = PathTraitsUnix::Append(directory, name);
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        Kind kind = Kind::Other;
        if (S_ISREG(st.st_mode)) kind = Kind::File;
        else if (S_ISDIR(st.st_mode)) kind = Kind::Directory;
        else if (S_ISLNK(st.st_mode)) {
            struct stat target;
            if (stat(full.c_str(), &target) == 0 && S_ISREG(target.st_mode)) kind = Kind::File;
        }
        e->m_entries.push_back({Path(name), kind});
    }
    closedir(d);
    std::sort(e->m_entries.begin(), e->m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.name.Compare(b.name) < 0; });
    return e;
}

bool FileEnumerator::Next(Entry& entry) {
    if (m_next >= m_entries.size()) return false;
    entry = m_entries[m_next++];
    return true;
}

}  // namespace Kernel
