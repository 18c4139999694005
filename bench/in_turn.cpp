// The timer of bench/speed-table.sh: runs each command once, then each again, RUNS times, with
// its output dropped, and prints a line per command: best ms, median ms, largest resident set in
// KiB, exit status. A command that cannot start, is killed or changes its exit status stops it.
//
// It takes none of the project and forks rather than spawns: a child's largest resident set
// starts from what it shares with its parent at the fork (with posix_spawn, from all of the
// parent's), so a large timer would add itself to a small tool's figure.
//
// Usage: in_turn RUNS -- COMMAND [ARGUMENT...] [-- COMMAND [ARGUMENT...]]...   (COMMAND a path)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Runs {
    std::vector<char*> argv;  // ends with nullptr
    std::vector<double> milliseconds;
    long peakKiB = 0;
    int status = 0;
};

// One run of the command: its exit status, or -1 with a message when it did not start or exit.
int RunOnce(Runs& runs) {
    int report[2];  // the child's errno when exec fails; closed by a successful one
    if (pipe2(report, O_CLOEXEC) != 0) return std::perror("pipe2"), -1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(runs.argv[0], runs.argv.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t written = write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    if (pid < 0) {
        close(report[0]);
        return std::perror("fork"), -1;
    }
    int error = 0;
    const bool started = read(report[0], &error, sizeof error) != sizeof error;
    close(report[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    if (!started) return std::fprintf(stderr, "in_turn: cannot run %s: %s\n", runs.argv[0], std::strerror(error)), -1;
    if (!WIFEXITED(status)) return std::fprintf(stderr, "in_turn: %s did not exit\n", runs.argv[0]), -1;
    runs.milliseconds.push_back(elapsed.count());
    runs.peakKiB = std::max(runs.peakKiB, long(usage.ru_maxrss));
    return WEXITSTATUS(status);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 0;
    std::vector<Runs> commands;
    for (int i = 2; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0)
            commands.emplace_back();
        else if (!commands.empty())
            commands.back().argv.push_back(argv[i]);
    const bool empty = std::any_of(commands.begin(), commands.end(), [](const Runs& c) { return c.argv.empty(); });
    if (count <= 0 || argc < 3 || std::strcmp(argv[2], "--") != 0 || empty) {
        std::fprintf(stderr, "usage: in_turn RUNS -- COMMAND [ARGUMENT...] [-- COMMAND [ARGUMENT...]]...\n");
        return 2;
    }
    for (Runs& c : commands) c.argv.push_back(nullptr);

    for (int i = 0; i < count; ++i)
        for (Runs& c : commands) {
            const int status = RunOnce(c);
            if (status < 0) return 1;
            if (i > 0 && status != c.status) {
                std::fprintf(stderr, "in_turn: %s exited with %d, before with %d\n", c.argv[0], status, c.status);
                return 1;
            }
            c.status = status;
        }
    for (const Runs& c : commands)
        std::printf("%.2f %.2f %ld %d\n", *std::min_element(c.milliseconds.begin(), c.milliseconds.end()),
                    Median(c.milliseconds), c.peakKiB, c.status);
    return 0;
}
