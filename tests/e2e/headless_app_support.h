// Runs the interactive application as a process in a temporary folder: events on standard
// input, what it did on standard output.
#pragma once
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct AppRun {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class HeadlessAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-e2e-app-XXXXXX";
        m_dir = mkdtemp(pattern);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + m_dir + "'";
        [[maybe_unused]] int rc = std::system(cmd.c_str());
    }

    AppRun RunApp(const std::string& script, const std::string& lang = "en_US.UTF-8") {
        std::ofstream(m_dir + "/events") << script;
        std::string cmd = "cd '" + m_dir + "' && env -u LC_ALL -u LC_MESSAGES HOME='" + m_dir + "' LANG=" + lang + " '" +
                          QV_EXECUTABLE + "' < events > out 2> err";
        AppRun run;
        int raw = std::system(cmd.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::istringstream lines(ReadAll(m_dir + "/out"));
        for (std::string line; std::getline(lines, line);) run.out.push_back(line);
        run.err = ReadAll(m_dir + "/err");
        return run;
    }

    // What the run printed from its first line that starts with first on.
    static std::vector<std::string> From(const AppRun& run, const std::string& first) {
        for (size_t i = 0; i < run.out.size(); ++i)
            if (run.out[i].rfind(first, 0) == 0) return {run.out.begin() + static_cast<long>(i), run.out.end()};
        return {};
    }

    static std::vector<std::string> Starting(const AppRun& run, const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& l : run.out)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    std::string m_dir;
};

