#include "regression/UnitProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "regression/ChildOutput.h"
#include "regression/RegressionStrings.h"

extern char** environ;

RegressionRunFlagSet RegressionRunFlags;
Kernel::String ExecutablePath;

namespace {
// The running child, for the termination handler; 0 while none runs. Set and cleared only
// while the termination signals are held, and cleared before the child is reaped, so the
// handler never signals a pid that may have been reused.
volatile sig_atomic_t RunningChildPid = 0;
// A child inherits a signal the runner ignores: then only SIGKILL is sure to end it.
volatile sig_atomic_t ChildStopSignal = SIGTERM;
// What the running child may leave when a signal ends it; prepared before it starts.
Kernel::ChildLeftovers RunningChildLeftovers;

const int kTerminationSignals[] = {SIGTERM, SIGINT, SIGHUP};

sigset_t TerminationSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kTerminationSignals) sigaddset(&set, signal);
    return set;
}

// The runner's environment with the child's token in place of any the runner inherited: the
// token marks the child's files as its own, where ids alone may repeat (pid namespaces).
std::vector<char*> ChildEnvironment(std::string& tokenEntry) {
    const std::string_view name = Kernel::ChildLeftovers::kTokenVariable;
    tokenEntry = std::string(name) + "=" + RunningChildLeftovers.Token();
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view text = *entry;
        if (!(text.size() > name.size() && text.starts_with(name) && text[name.size()] == '='))
            environment.push_back(*entry);
    }
    environment.push_back(tokenEntry.data());
    environment.push_back(nullptr);
    return environment;
}

bool DiedOfSignal(const siginfo_t& ended) { return ended.si_code == CLD_KILLED || ended.si_code == CLD_DUMPED; }

// Waits for the child to end without reaping it: its pid stays its own, and so do the names of
// what it left, until they are removed.
bool WaitUnreaped(pid_t child, siginfo_t& ended) {
    std::memset(&ended, 0, sizeof ended);
    int rc;
    while ((rc = waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT)) < 0 && errno == EINTR) {
    }
    return rc == 0;
}

void OnTerminationSignal(int signal) {
    const pid_t child = RunningChildPid;
    if (child > 0) {
        kill(child, ChildStopSignal);
        siginfo_t ended;
        if (WaitUnreaped(child, ended) && DiedOfSignal(ended)) RunningChildLeftovers.Remove();
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    _exit(128 + signal);
}

// The longest line of a child that is kept: room for a report that quotes the longest path the
// system takes, every byte of it escaped. What a child writes past it is cut, so that neither
// what the runner holds of a line nor what it shows of one is unbounded.
constexpr size_t kChildLineBytes = 5 * Kernel::kPathExcerptBytes;

// A unit's test in TeamCity: its path, cut as every shown path is.
Kernel::String TeamCityName(const UnitProcess& unit) {
    return EscapeTeamCityValue(Kernel::String(Kernel::Cut(unit.UnitPath.View(), Kernel::kPathExcerptBytes)));
}

void WriteConsoleLine(const Kernel::String& text) {
    std::fwrite(text.GetBuffer(), 1, text.GetLength(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
}  // namespace

void InstallTerminationHandlers() {
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    action.sa_mask = TerminationSignalSet();
    action.sa_flags = SA_RESTART;
    for (int signal : kTerminationSignals) {
        struct sigaction previous {};
        // A signal ignored when the runner started (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            if (signal == SIGTERM) ChildStopSignal = SIGKILL;
            continue;
        }
        sigaction(signal, &action, nullptr);
    }
}

TerminationSignalsHeld::TerminationSignalsHeld() {
    sigset_t set = TerminationSignalSet();
    sigprocmask(SIG_BLOCK, &set, &m_saved);
}

TerminationSignalsHeld::~TerminationSignalsHeld() { sigprocmask(SIG_SETMASK, &m_saved, nullptr); }

Kernel::String EscapeTeamCityValue(const Kernel::String& value) {
    std::string_view v = value.View();
    std::string out;
    out.reserve(v.size() + 8);
    for (size_t i = 0; i < v.size();) {
        const Kernel::TextCharacter character = Kernel::CharacterAt(v, i);
        const char* escape = nullptr;
        switch (character.valid ? character.code : 0xFFFF) {
            case '\'': escape = "|'"; break;
            case '|': escape = "||"; break;
            case '[': escape = "|["; break;
            case ']': escape = "|]"; break;
            case '\n': escape = "|n"; break;
            case '\r': escape = "|r"; break;
            // The Unicode line breaks (next line, line and paragraph separator) have escapes of their own.
            case 0x85: escape = "|x"; break;
            case 0x2028: escape = "|l"; break;
            case 0x2029: escape = "|p"; break;
            default: break;
        }
        if (escape) {
            out += escape;
        } else if (character.shown) {
            out.append(v.substr(i, character.length));
        } else {
            // Any other character that could act on a terminal showing the build log, and any
            // byte of no valid character (as its value), in TeamCity's escape for a code point.
            static const char kHex[] = "0123456789abcdef";
            out += "|0x";
            for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(character.code >> shift) & 15]);
        }
        i += character.length;
    }
    return Kernel::String(out);
}

void UnitProcess::OnLine(const Kernel::String& line) {
    Kernel::String payload;
    switch (RecogniseChildRecord(line, payload)) {
        case ChildRecordKind::Start: CurrentTest = payload; break;
        case ChildRecordKind::Info: ReportChildLine(*this, false, "INFO", payload); break;
        case ChildRecordKind::Fail:
            ReportChildLine(*this, true, "FAILED", payload);
            Failed = true;
            break;
        case ChildRecordKind::Command: {
            auto [identifier, name] = SplitCommandRecord(payload);
            if (RegressionRunFlags.coverage) RecordedCommands.push_back(identifier);
            if (RegressionRunFlags.showcommands) ShownCommands.push_back(name.IsEmpty() ? identifier : name);
            break;
        }
        case ChildRecordKind::End: CurrentTest = Kernel::String(); break;
        case ChildRecordKind::None: break;
    }
}

void GetRegisteredCommandsProcess::OnLine(const Kernel::String& line) {
    Kernel::String payload;
    if (StartsWithTag(line, kRecordCommand, payload)) Commands.push_back(SplitCommandRecord(payload));
}

void ReportChildLine(UnitProcess& unit, bool isFailure, const char* label, const Kernel::String& message) {
    Kernel::String text = FormatWithTwoStrings("%1: %2", Kernel::String(label), unit.CurrentTest);
    if (!message.IsEmpty()) text.Append(FormatWithString(": %1", message));
    unit.ReportLines.push_back(FormatWithTwoStrings("%1%2\033[0m", Kernel::String(isFailure ? kColourRed : kColourBlue),
                                                    Shown(text)));
    PrintChildLine(unit, isFailure, text);
}

void PrintChildLine(const UnitProcess& unit, bool isFailure, const Kernel::String& text) {
    if (RegressionRunFlags.teamcity) {
        if (isFailure)
            WriteConsoleLine(FormatWithTwoStrings("##teamcity[testFailed name='%1' message='%2']",
                                                  TeamCityName(unit), EscapeTeamCityValue(text)));
        else
            WriteConsoleLine(FormatWithString("##teamcity[message text='%1']", EscapeTeamCityValue(text)));
        return;
    }
    WriteConsoleLine(FormatWithTwoStrings("%1%2\033[0m", Kernel::String(isFailure ? kColourRed : kColourBlue),
                                          Shown(text)));
}

std::vector<Kernel::String> BuildUnitArguments(const Kernel::String& unitPath) {
    const RegressionRunFlagSet& flags = RegressionRunFlags;
    std::vector<Kernel::String> arguments{ExecutablePath};
    const std::pair<bool, const char*> options[] = {
        {flags.update, "--update"},   {flags.nodump, "--nodump"}, {flags.rendertimes, "--rendertimes"},
        {flags.hardware, "--hardware"}, {flags.create, "--create"}, {flags.showcommands, "--showcommands"},
    };
    for (const auto& [set, word] : options)
        if (set) arguments.emplace_back(word);
    arguments.emplace_back("-file");
    arguments.push_back(unitPath);
    return arguments;
}

ChildProcessResult RunChildProcess(Process& process, const std::vector<Kernel::String>& arguments,
                                   const Kernel::String& besideFile) {
    ChildProcessResult result;
    if (arguments.empty() || arguments[0].IsEmpty()) {
        result.startError = "no program to run";
        return result;
    }
    // The arguments go to the child as they are: no shell sees them, so quotes,
    // "$", "`" and "\" in a path reach the unit executor unchanged.
    std::vector<char*> argv;
    for (const Kernel::String& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    static char modeWord[] = "regressionunit";
    argv.push_back(modeWord);
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        result.startError = std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::fflush(nullptr);  // nothing buffered may reach the console after the child's output
    pid_t pid = 0;
    int rc = 0;
    {
        // No termination signal may come between the start and the note of the child's pid.
        TerminationSignalsHeld held;
        RunningChildLeftovers.Prepare(besideFile);
        std::string tokenEntry;
        std::vector<char*> environment = ChildEnvironment(tokenEntry);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setsigmask(&attributes, &held.Saved());
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
        rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environment.data());
        posix_spawnattr_destroy(&attributes);
        if (rc == 0) {
            RunningChildLeftovers.SetProcess(pid);
            RunningChildPid = pid;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        result.startError = std::strerror(rc);
        return result;
    }
    result.started = true;

    FILE* pipe = fdopen(fds[0], "r");
    if (pipe) {
        std::string line;
        line.reserve(1024);
        int c;
        while ((c = std::getc(pipe)) != EOF) {
            if (c == '\n') {
                process.OnLine(Kernel::String(Kernel::Cut(line, kChildLineBytes)));
                line.clear();
            } else if (line.size() < kChildLineBytes + 3) {
                // The bytes past the limit tell whether the cut splits a character.
                line.push_back(static_cast<char>(c));
            }
        }
        std::fclose(pipe);
    } else {
        close(fds[0]);
    }

    // Wait for the end without reaping, so the pid stays the child's until the handler forgets it,
    // and until what a child ended by a signal left is gone: names with its pid are its own.
    siginfo_t ended;
    if (WaitUnreaped(pid, ended) && DiedOfSignal(ended)) RunningChildLeftovers.Remove();
    int status = 0;
    pid_t waited;
    {
        TerminationSignalsHeld held;
        RunningChildPid = 0;
        do {
            waited = waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
    }
    result.exitedCleanly = waited == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (waited != pid)
        result.ending = "an unknown status";
    else if (WIFEXITED(status))
        result.ending = FormatWithInt("exit status %1", WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        result.ending = FormatWithInt("signal %1", WTERMSIG(status));
    return result;
}

bool RunUnitProcess(UnitProcess& unit) {
    const bool teamcity = RegressionRunFlags.teamcity;
    WriteConsoleLine(teamcity
                         ? FormatWithString("##teamcity[testStarted name='%1']", TeamCityName(unit))
                         : FormatWithString("\nTesting unit: %1", ShownPath(unit.UnitPath)));

    ChildProcessResult child = RunChildProcess(unit, BuildUnitArguments(unit.UnitPath), unit.UnitPath);
    if (!child.started) {
        ReportChildLine(unit, true, "FAILED",
                        FormatWithString("the unit process could not be started (%1)", child.startError));
        unit.Failed = true;
    }

    bool passed = false;
    if (!unit.CurrentTest.IsEmpty()) {
        ReportChildLine(unit, true, "ABORTED", Kernel::String());
    } else if (!unit.Failed && child.exitedCleanly) {
        WriteConsoleLine("\033[32mPASSED\033[0m");
        passed = true;
    } else if (teamcity && !unit.Failed) {
        // A child that failed without a word would otherwise finish as a passed test in TeamCity.
        PrintChildLine(unit, true, FormatWithString("FAILED: the unit process ended with %1", child.ending));
    }

    if (!unit.ShownCommands.empty()) {
        std::stable_sort(unit.ShownCommands.begin(), unit.ShownCommands.end(),
                         [](const Kernel::String& a, const Kernel::String& b) { return a.Compare(b) < 0; });
        for (const Kernel::String& name : unit.ShownCommands)
            PrintChildLine(unit, false, FormatWithString("COMMAND: %1", name));
    }

    if (teamcity)
        WriteConsoleLine(FormatWithString("##teamcity[testFinished name='%1']", TeamCityName(unit)));
    return passed;
}

#include "app/UnitStatics.h"
