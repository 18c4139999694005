// The regression runner ("regression" mode): options, modes and the summary.
// The entry point RegressionMain is declared in RegressionEntry.h.
#pragma once
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Kernel/CommandLine.h"
#include "Kernel/String.h"
#include "regression/UnitProcess.h"

extern const char kRegressionHelpText[];
extern const char kUpdateConfirmationText[];

// Every unit whose run did not pass, in failing order.
extern std::vector<UnitProcess> FailedUnits;

// The executable's folder three levels up, joined with "output".
Kernel::String GetOutputDirectory();

// The flag of that word (long and short name alike); false when absent.
bool GetBoolOption(const Kernel::CommandLineArguments& arguments, const char* word);

// The text and a line feed to the console, then to the log when there is one.
void PrintSummaryLine(const Kernel::String& text, FILE* log);

// Only a one-character answer "y" or "Y" confirms.
bool IsUpdateConfirmed(const std::string& answerLine);

// The unit paths of a failed-units log; empty lines are not units, and a missing log names none.
// Nothing when the log is there but cannot be read (the reason is told on standard error).
std::optional<std::vector<Kernel::String>> ReadFailedUnitsLog(const Kernel::String& path);

struct EngineStringLess {
    bool operator()(const Kernel::String& a, const Kernel::String& b) const { return a.Compare(b) < 0; }
};
using RecordedCommandSet = std::set<Kernel::String, EngineStringLess>;

struct CoverageComparison {
    std::vector<Kernel::String> unrecorded;    // names of registered commands no unit ran, sorted
    std::vector<Kernel::String> unregistered;  // identifiers units ran that are not registered, sorted
};
// registered must come in the registry's key order.
CoverageComparison CompareCommandCoverage(const std::vector<std::pair<Kernel::String, Kernel::String>>& registered,
                                          const RecordedCommandSet& recorded);

// Tests every unit of tested in its own child, then prints the summary, writes
// "summary.log" and "failed.log" into outputDirectory and returns the exit code.
// other is the list not tested (the ignored units, or the others in testignored mode).
int RunUnitsAndSummarise(const std::vector<Kernel::String>& tested, const std::vector<Kernel::String>& other,
                         bool testIgnored, const Kernel::String& outputDirectory);
