// One unit's child process: starting it, reading its protocol lines, reporting
// them on the console (plain or TeamCity) and deciding the verdict.
#pragma once
#include <signal.h>

#include <utility>
#include <vector>

#include "Kernel/String.h"

// Set once by the runner before the first child starts.
struct RegressionRunFlagSet {
    bool teamcity = false;
    bool showcommands = false;
    bool coverage = false;
    bool update = false;
    bool create = false;
    bool nodump = false;
    bool rendertimes = false;
    bool hardware = false;
};
extern RegressionRunFlagSet RegressionRunFlags;

// The running executable; every child runs it.
extern Kernel::String ExecutablePath;

// A child whose standard output is consumed line by line.
class Process {
public:
    virtual ~Process() = default;
    // One output line, without its line feed.
    virtual void OnLine(const Kernel::String& line) = 0;
};

class UnitProcess : public Process {
public:
    explicit UnitProcess(const Kernel::String& unitPath) : UnitPath(unitPath) {}
    void OnLine(const Kernel::String& line) override;

    Kernel::String UnitPath;
    Kernel::String CurrentTest;
    bool Failed = false;
    std::vector<Kernel::String> ReportLines;       // coloured, in arrival order
    std::vector<Kernel::String> RecordedCommands;  // coverage only
    std::vector<Kernel::String> ShownCommands;     // showcommands only
};

class GetRegisteredCommandsProcess : public Process {
public:
    void OnLine(const Kernel::String& line) override;

    std::vector<std::pair<Kernel::String, Kernel::String>> Commands;  // (identifier, name), in arrival order
};

struct ChildProcessResult {
    bool started = false;
    bool exitedCleanly = false;   // started and ended with exit status 0
    Kernel::String startError;    // why it could not be started
    Kernel::String ending;        // how a started child ended, e.g. "exit status 255"
};

// Runs arguments + "regressionunit" without a shell (arguments[0] is the program),
// hands every complete output line to process.OnLine, and reaps the child. A child that a
// signal ended leaves nothing of its own: its temporary folder goes, and so do its unfinished
// files beside besideFile (a unit's baseline, metric file and images) when one is given.
ChildProcessResult RunChildProcess(Process& process, const std::vector<Kernel::String>& arguments,
                                   const Kernel::String& besideFile = Kernel::String());

// From now on SIGTERM, SIGINT and SIGHUP end the running child, wait for it, and end the
// runner with exit status 128 plus the signal's number.
void InstallTerminationHandlers();

// Holds those signals back for one scope; one that came meanwhile is handled when it ends.
class TerminationSignalsHeld {
public:
    TerminationSignalsHeld();
    ~TerminationSignalsHeld();
    TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
    TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;
    const sigset_t& Saved() const { return m_saved; }  // the mask before

private:
    sigset_t m_saved;
};

// Runs one unit in a child and prints everything about it; true when it passed.
bool RunUnitProcess(UnitProcess& unit);

// The child's arguments for one unit, without the trailing mode word.
std::vector<Kernel::String> BuildUnitArguments(const Kernel::String& unitPath);

// Records one report line (coloured) and prints it.
void ReportChildLine(UnitProcess& unit, bool isFailure, const char* label, const Kernel::String& message);

// Prints one line in the current output style.
void PrintChildLine(const UnitProcess& unit, bool isFailure, const Kernel::String& text);

// A value as a TeamCity service message attribute needs it: besides TeamCity's own escapes, each
// character that is not shown as it is (see Kernel::CharacterAt), and each byte of no valid
// character, becomes "|0xNNNN" (the byte's value for a stray byte), as it could act on a
// terminal that shows the build log.
Kernel::String EscapeTeamCityValue(const Kernel::String& value);

inline constexpr const char kColourRed[] = "\033[31m";
inline constexpr const char kColourBlue[] = "\033[34m";
inline constexpr const char kColourReset[] = "\033[0m";
