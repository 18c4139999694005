// What the fuzz targets share: a scratch folder of their own, files written from the input,
// output captured from the standard descriptors, and a check that stops the run with a reason.
#pragma once
#include <fcntl.h>
#include <ftw.h>
#include <sanitizer/common_interface_defs.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>


namespace Fuzz {

// The standard error of the fuzzer itself, kept apart so that reports still reach it while a
// target captures descriptor 2.
inline int& ReportDescriptor() {
    static int fd = 2;
    return fd;
}

// Call once from LLVMFuzzerInitialize, before any capture.
inline void KeepReportsOnStandardError() {
    static bool done = false;
    if (done) return;
    done = true;
    const int fd = fcntl(2, F_DUPFD_CLOEXEC, 10);
    if (fd < 0) return;
    ReportDescriptor() = fd;
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
}

// A printable form of bytes for reports: C escapes for everything outside ASCII's printables.
inline std::string Shown(std::string_view text, size_t limit = 400) {
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7f) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
            out += buffer;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    if (out.size() >= limit) out += "[...]";
    return out;
}

// The length of the well-formed UTF-8 character at text[i], 0 when none begins there; code is its
// code point. Worked out from the code point rather than from byte ranges, so that it checks the
// project's own reader of characters rather than repeating it.
inline size_t WellFormedLength(std::string_view text, size_t i, uint32_t& code) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xF8) == 0xF0 ? 4 : 0;
    if (length == 0 || text.size() - i < length) return 0;
    code = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto u = static_cast<unsigned char>(text[i + k]);
        if ((u & 0xC0) != 0x80) return 0;
        code = code << 6 | (u & 0x3F);
    }
    static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

// Where the text first holds a byte that may reach a console or a build log only escaped: one
// of no well-formed character, or of a control (C0, DEL, C1) or a line or paragraph separator.
// npos when there is none.
inline size_t FirstUnshownByte(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        uint32_t code = 0;
        const size_t length = WellFormedLength(text, i, code);
        if (length == 0 || code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029) return i;
        i += length;
    }
    return std::string_view::npos;
}

// A broken property: said on the fuzzer's own standard error, then abort, so that libFuzzer
// keeps the input.
[[noreturn]] inline void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline void Fail(const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    const std::string text = std::string("fuzz check failed: ") + buffer + "\n";
    if (write(ReportDescriptor(), text.data(), text.size()) < 0) {
    }
    std::abort();
}

// Stops the run with the message (a printf format) when the condition does not hold.
#define FUZZ_CHECK(condition, ...)                  \
    do {                                            \
        if (!(condition)) ::Fuzz::Fail(__VA_ARGS__); \
    } while (0)

// A folder of this process's own below TMPDIR (or /tmp), removed when the process exits. It is
// not the program's own temporary folder: that one's crash hooks would stand in for libFuzzer's,
// which then keeps no crashing input.
inline const std::string& ScratchFolder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/qv-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) Fail("no scratch folder in %s", pattern.c_str());
        static std::string removed;
        static pid_t owner;
        removed = pattern;
        owner = getpid();
        std::atexit([] {
            if (getpid() != owner) return;
            nftw(removed.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); },
                 16, FTW_DEPTH | FTW_PHYS);
        });
        return pattern;
    }();
    return folder;
}

inline void WriteWholeFile(const std::string& path, std::string_view bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) Fail("cannot write %s", path.c_str());
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) Fail("short write to %s", path.c_str());
    if (std::fclose(file) != 0) Fail("cannot close %s", path.c_str());
}

inline std::string ReadWholeFile(const std::string& path) {
    std::string text;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return text;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

// Inputs of two parts (a path or folder, then the text) are split at their first NUL byte,
// which no text reader accepts anyway; without one, first is empty.
inline std::pair<std::string_view, std::string_view> SplitAtNul(std::string_view input) {
    const size_t nul = input.find('\0');
    if (nul == std::string_view::npos) return {{}, input};
    return {input.substr(0, nul), input.substr(nul + 1)};
}

// Lines split at every line feed and carriage return: a log reader that takes either as the
// end of a line sees these lines.
inline std::vector<std::string_view> PhysicalLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

// Sends one of the standard descriptors to an anonymous file for a scope and hands back what
// was written to it.
class Capture {
public:
    explicit Capture(int fd) : m_fd(fd) {
        std::cout.flush();
        std::fflush(nullptr);
        m_file = memfd_create("fuzz-capture", MFD_CLOEXEC);
        m_saved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
        if (m_file < 0 || m_saved < 0 || dup2(m_file, fd) < 0) Fail("cannot capture descriptor %d", fd);
    }
    ~Capture() { Stop(); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // Ends the capture; the text written meanwhile.
    std::string Stop() {
        if (m_saved < 0) return m_text;
        std::cout.flush();
        std::fflush(nullptr);
        dup2(m_saved, m_fd);
        close(m_saved);
        m_saved = -1;
        const off_t size = lseek(m_file, 0, SEEK_END);
        m_text.resize(size > 0 ? size_t(size) : 0);
        if (size > 0 && pread(m_file, m_text.data(), m_text.size(), 0) != size) Fail("cannot read the capture back");
        close(m_file);
        return m_text;
    }

private:
    int m_fd;
    int m_file = -1;
    int m_saved = -1;
    std::string m_text;
};

}  // namespace Fuzz
