// Temporary folders and files for the regression runner's tests.
#pragma once
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

struct ProcessResult {
    int status = -1;          // exit status, or -1 when the process did not exit
    int signal = 0;           // the signal that ended it, if one did
    std::string out;
    std::string err;
    std::vector<std::string> Lines() const { return SplitLines(out); }
};

// Changes to the inherited environment: a value sets the variable, nullopt removes it.
using Environment = std::map<std::string, std::optional<std::string>>;

// Runs the program (arguments[0]) in folder without a shell, with input on standard input;
// standard output and error are captured.
inline ProcessResult RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                                const Environment& environment, const std::string& input = "") {
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

    TempDir capture;
    const std::filesystem::path inPath = capture.Path() / "in", outPath = capture.Path() / "out",
                                errPath = capture.Path() / "err";
    WriteFile(inPath, input);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(126);
        if (!freopen(inPath.c_str(), "r", stdin) || !freopen(outPath.c_str(), "w", stdout) ||
            !freopen(errPath.c_str(), "w", stderr))
            _exit(125);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    ProcessResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
}

}  // namespace runner_test
