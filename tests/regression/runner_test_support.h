// Temporary folders and files for the regression runner's tests.
#pragma once
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace runner_test {

// A fresh folder below TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qv-runner-XXXXXX";
        char* made = mkdtemp(pattern.data());
        if (made) m_path = std::filesystem::canonical(made);
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string operator/(const std::string& relative) const { return (m_path / relative).string(); }

private:
    std::filesystem::path m_path;
};

// Changes the working directory for one scope.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::filesystem::path& path) : m_saved(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~ScopedCurrentDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(m_saved, ignored);
    }
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

private:
    std::filesystem::path m_saved;
};

inline void WriteFile(const std::filesystem::path& path, const std::string& contents) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << contents;
}

// The file's bytes; empty when it cannot be opened. Read with system calls, so that a file that
// goes away while it is read (the /proc files of a process that ends) gives what was read so far
// instead of an exception.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[65536];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(got));
    close(fd);
    return text;
}

inline void WriteScript(const std::filesystem::path& path, const std::string& body) {
    WriteFile(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0755);
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The four count lines that end the runner's summary.
inline std::string Counts(int found, int ignored, int passed, int failed) {
    return "Units found:   " + std::to_string(found) + "\nUnits ignored: " + std::to_string(ignored) +
           "\nUnits passed:  " + std::to_string(passed) + "\nUnits failed:  " + std::to_string(failed) + "\n";
}

inline bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

struct ProcessResult {
    int status = -1;          // exit status, or -1 when the process did not exit
    int signal = 0;           // the signal that ended it, if one did
    long peakKiB = 0;         // its largest resident set
    std::string out;
    std::string err;
    std::vector<std::string> Lines() const { return SplitLines(out); }
};

// A TeamCity service message as the build server reads it: "##teamcity[" at any column of the
// stream, a message name, then name='value' attributes in which "|" escapes the next character.
struct ServiceMessage {
    std::string text;  // from the marker to the closing "]", or to the line's end when it has none
    std::string name;
    std::vector<std::string> attributes;  // their names, in order
    bool wellFormed = false;
    bool beginsLine = false;
};

inline std::vector<ServiceMessage> FindServiceMessages(const std::string& stream) {
    static const std::string marker = "##teamcity[";
    std::vector<ServiceMessage> found;
    for (size_t at = stream.find(marker); at != std::string::npos; at = stream.find(marker, at + 1)) {
        ServiceMessage m;
        m.beginsLine = at == 0 || stream[at - 1] == '\n';
        size_t i = at + marker.size();
        while (i < stream.size() && std::isalpha(static_cast<unsigned char>(stream[i]))) m.name += stream[i++];
        bool good = !m.name.empty();
        while (good && i < stream.size() && stream[i] == ' ') {
            std::string key;
            for (++i; i < stream.size() && std::isalpha(static_cast<unsigned char>(stream[i])); ++i) key += stream[i];
            good = !key.empty() && stream.compare(i, 2, "='") == 0;
            for (i += 2; good && i < stream.size() && stream[i] != '\''; ++i) {
                if (stream[i] == '\n' || stream[i] == '[' || stream[i] == ']') good = false;
                if (stream[i] == '|') ++i;
            }
            if (good && i < stream.size()) ++i;  // the closing quote
            m.attributes.push_back(key);
        }
        m.wellFormed = good && i < stream.size() && stream[i] == ']';
        const size_t end = m.wellFormed ? i + 1 : std::min(stream.find('\n', at), stream.size());
        m.text = stream.substr(at, end - at);
        found.push_back(m);
    }
    return found;
}

// Whether the message is one the runner writes: well formed, at the start of a line, and of
// the runner's four kinds with their own attributes.
inline bool IsRunnersOwnServiceMessage(const ServiceMessage& m) {
    using Kinds = std::vector<std::pair<std::string, std::vector<std::string>>>;
    static const Kinds kinds = {{"testStarted", {"name"}},
                                {"testFailed", {"name", "message"}},
                                {"message", {"text"}},
                                {"testFinished", {"name"}}};
    if (!m.wellFormed || !m.beginsLine) return false;
    for (const auto& [name, attributes] : kinds)
        if (m.name == name && m.attributes == attributes) return true;
    return false;
}

// Changes to the inherited environment: a value sets the variable, nullopt removes it.
using Environment = std::map<std::string, std::optional<std::string>>;

// The program (arguments[0]) started in folder without a shell, with input on standard input;
// standard output and error are captured. With a hang limit, the process is ended by SIGALRM
// after that many seconds, so a program that hangs fails its test instead of stalling the run.
class BackgroundProcess {
public:
    BackgroundProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                      const Environment& environment, const std::string& input = "", unsigned hangLimitSeconds = 0) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry(*e);
            if (!environment.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
        }
        for (const auto& [name, value] : environment)
            if (value) env.push_back(name + "=" + *value);
        std::vector<std::string> args = arguments;
        std::vector<char*> argv, envp;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        WriteFile(InPath(), input);
        std::fflush(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            if (!freopen(InPath().c_str(), "r", stdin) || !freopen(OutPath().c_str(), "w", stdout) ||
                !freopen(ErrPath().c_str(), "w", stderr))
                _exit(125);
            if (hangLimitSeconds) alarm(hangLimitSeconds);  // kept across execve
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    ~BackgroundProcess() {
        if (m_pid > 0 && !m_waited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    pid_t Pid() const { return m_pid; }
    std::string Output() const { return ReadFile(OutPath()); }

    ProcessResult Wait() {
        ProcessResult result;
        int status = 0;
        rusage usage{};
        if (m_pid > 0 && !m_waited && wait4(m_pid, &status, 0, &usage) == m_pid) {
            m_waited = true;
            result.peakKiB = usage.ru_maxrss;
            if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
        }
        result.out = ReadFile(OutPath());
        result.err = ReadFile(ErrPath());
        return result;
    }

private:
    std::filesystem::path InPath() const { return m_capture.Path() / "in"; }
    std::filesystem::path OutPath() const { return m_capture.Path() / "out"; }
    std::filesystem::path ErrPath() const { return m_capture.Path() / "err"; }

    TempDir m_capture;
    pid_t m_pid = -1;
    bool m_waited = false;
};

// Runs the program to its end; see BackgroundProcess.
inline ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                                const Environment& environment, const std::string& input = "",
                                unsigned hangLimitSeconds = 0) {
    return BackgroundProcess(arguments, folder, environment, input, hangLimitSeconds).Wait();
}

// A copy of the built executable in a bundle of its own at root/Quirevale.app, with the built
// bundle's resources, so that its output folder is root/output. Returns the executable's path.
inline std::filesystem::path CopyBundle(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    const fs::path built = QV_EXECUTABLE;
    const fs::path exe = root / "Quirevale.app/Contents/MacOS/quirevale";
    fs::create_directories(exe.parent_path());
    fs::copy_file(built, exe);
    fs::copy(built.parent_path().parent_path() / "Resources", root / "Quirevale.app/Contents/Resources",
             fs::copy_options::recursive);
    return exe;
}

// Opening a FIFO for writing without blocking wakes a reader stuck in its open, if there is one,
// so a program that blocked on the FIFO can go on and end.
inline void ReleaseFifo(const std::filesystem::path& fifo) {
    int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
}

}  // namespace runner_test
