#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {
// Runs the built executable with the given arguments (no shell), stdin from /dev/null.
// Answers the exit status and what it wrote on standard error.
int RunQuirevale(std::vector<std::string> args, std::string* err = nullptr) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("qv-entry-" + std::to_string(getpid()));
    fs::create_directories(dir);
    std::string errPath = (dir / "stderr.txt").string();
    pid_t pid = fork();
    if (pid == 0) {
        chdir(dir.c_str());
        setenv("HOME", dir.c_str(), 1);
        freopen("/dev/null", "r", stdin);
        freopen("/dev/null", "w", stdout);
        freopen(errPath.c_str(), "w", stderr);
        std::vector<char*> argv;
        std::string exe = QV_EXECUTABLE;
        argv.push_back(exe.data());
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (err) {
        err->clear();
        if (FILE* f = fopen(errPath.c_str(), "r")) {
            std::array<char, 4096> buf;
            size_t n;
            while ((n = fread(buf.data(), 1, buf.size(), f)) > 0) err->append(buf.data(), n);
            fclose(f);
        }
    }
    fs::remove_all(dir);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

TEST(ProcessEntry, ModeWordsChooseTheMode) {
    std::string err;
    EXPECT_EQ(RunQuirevale({}, &err), 0);  // the interactive application, no input: ends at once
    EXPECT_NE(err.find("no graphical interface"), std::string::npos) << err;

    // "regression" wins over "regressionunit"; both mode words reach the runner.
    EXPECT_EQ(RunQuirevale({"regressionunit", "--help", "regression"}, &err), 0);  // the runner's help
    EXPECT_EQ(err.find("unit executor"), std::string::npos) << err;
    EXPECT_EQ(err.find("no graphical interface"), std::string::npos) << err;

    // "regressionunit" as the last word, as the runner starts children, reaches the unit executor.
    // Its failure result -1 is the process's exit status 255.
    EXPECT_EQ(RunQuirevale({"--nodump", "-file", "/nonexistent/a.kqvle", "regressionunit"}, &err), 255);
    EXPECT_EQ(err.find("no graphical interface"), std::string::npos) << err;
    // A word that merely contains a mode word is no mode word.
    EXPECT_EQ(RunQuirevale({"regressions"}, &err), 0);
    EXPECT_NE(err.find("no graphical interface"), std::string::npos) << err;
}
