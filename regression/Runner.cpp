#include "regression/Runner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "Kernel/FileSystem.h"
#include "Kernel/Serialisation.h"
#include "Kernel/System.h"
#include "regression/RegressionEntry.h"
#include "regression/RegressionStrings.h"
#include "regression/UnitDiscovery.h"

const char kRegressionHelpText[] =
    "\n"
    "Options:\n"
    "  --file <path>    Only tests the specified unit. Otherwise, all units in and below the current directory are "
    "tested. \n"
    "  --nodump         Don't create baseline/difference/failure images. Existing images will only be deleted for "
    "passing\n"
    "                   units.\n"
    "  --rendertimes    Output the render time for each unit.\n"
    "  --hardware\t\tEnable hardware acceleration.\n"
    "  --listignored    List ignored units, then exit.\n"
    "  --testignored    Only test ignored units.\n"
    "  --retestfailed   Retest units that failed on the last run. \n"
    "  --update         Updates the baseline for each unit that fails a render test. Implies --nodump, and also "
    "deletes\n"
    "                   existing images.\n"
    "  --create         Creates a baseline for units that don't have one, then tests the unit. Skips other units. \n"
    "  --teamcity       Produce output in TeamCity format.\n"
    "  --showcommands   Show all commands in the document history, sorted alphabetically. \n"
    "  --coverage       Test command coverage. \n"
    "\n"
    "Ignore lists:\n"
    "  Unit filenames can be listed in an ignore file (one per line) to cause them to be skipped when testing.\n"
    "  The ignore file must be in the same directory as the unit filenames it contains.\n"
    "  Ignore files can contain comments; when a '#' character is encountered, the remainder of that line will be "
    "ignored.\n"
    "  Valid ignore file names:\n"
    "    ignore.txt       loaded on all platforms\n"
    "    ignore_win.txt   loaded on Windows only\n"
    "    ignore_mac.txt   loaded on Mac only";

const char kUpdateConfirmationText[] =
    "\n"
    "WARNING: Regression is running with the --update option.\n"
    "This will overwrite the baseline for each unit that fails a render test.\n"
    "It should only be used on units where the changes have been approved.\n"
    "Continue? (y/n)";

std::vector<UnitProcess> FailedUnits;

// One line per failed unit of a run, each a path: no sensible log comes near this.
constexpr uint64_t kFailedUnitsLogLimit = 64 * Kernel::kMebibyte;

namespace {
void PrintLine(const Kernel::String& text) {
    std::fwrite(text.GetBuffer(), 1, text.GetLength(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

Kernel::String OutputFilePath(const Kernel::String& outputDirectory, const char* name) {
    Kernel::String path = outputDirectory;
    AppendPathComponent(path, name);
    return path;
}

// Reads one line of standard input without its line feed; false at the end of input.
bool ReadAnswerLine(std::string& line) {
    char* buffer = nullptr;
    size_t capacity = 0;
    ssize_t length = getline(&buffer, &capacity, stdin);
    bool ok = length >= 0;
    if (ok) {
        line.assign(buffer, static_cast<size_t>(length));
        if (!line.empty() && line.back() == '\n') line.pop_back();
    }
    std::free(buffer);
    return ok;
}

void WriteLogFile(const Kernel::String& path, std::string_view contents) {
    if (!Kernel::FileSystem::WriteFileAtomically(path, contents)) {
        std::fprintf(stderr, "'%s' could not be written: %s\n", Kernel::EscapeForMessage(path.View()).c_str(),
                     std::strerror(errno));
        std::fflush(stderr);
    }
}

void PrintCoverageReport(const RecordedCommandSet& recorded, FILE* log) {
    GetRegisteredCommandsProcess registry;
    std::vector<Kernel::String> arguments{ExecutablePath, Kernel::String("-getcommands")};
    RunChildProcess(registry, arguments);  // its exit status says nothing about coverage

    CoverageComparison comparison = CompareCommandCoverage(registry.Commands, recorded);
    if (!comparison.unrecorded.empty()) {
        PrintSummaryLine("Unrecorded commands:", log);
        for (const Kernel::String& name : comparison.unrecorded) PrintSummaryLine(Shown(name), log);
        PrintSummaryLine(Kernel::String(), log);
    }
    if (!comparison.unregistered.empty()) {
        PrintSummaryLine("Unregistered commands:", log);
        for (const Kernel::String& identifier : comparison.unregistered)
            PrintSummaryLine(Shown(identifier), log);
        PrintSummaryLine(Kernel::String(), log);
    }
}
}  // namespace

Kernel::String GetOutputDirectory() {
    Kernel::String directory = Kernel::FileSystem::GetExecutableDirectory();
    for (int i = 0; i < 3; ++i) RemoveLastPathComponent(directory);
    AppendPathComponent(directory, "output");
    return directory;
}

bool GetBoolOption(const Kernel::CommandLineArguments& arguments, const char* word) {
    return arguments.GetValue<bool>(word, word, false);
}

void PrintSummaryLine(const Kernel::String& text, FILE* log) {
    PrintLine(text);
    if (!log) return;
    std::fwrite(text.GetBuffer(), 1, text.GetLength(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

bool IsUpdateConfirmed(const std::string& answerLine) { return answerLine == "y" || answerLine == "Y"; }

std::optional<std::vector<Kernel::String>> ReadFailedUnitsLog(const Kernel::String& path) {
    std::vector<Kernel::String> units;
    std::string text;
    Kernel::FileSystem::ReadError error;
    if (!ReadOptionalFile("Failed-units log", path, kFailedUnitsLogLimit, text, &error)) {
        if (error.missing) return units;
        return std::nullopt;
    }
    for (std::string_view line : SplitFileLines(text)) {
        // An empty line names no unit; testing it would only fail for nothing.
        if (!line.empty()) units.emplace_back(line);
    }
    return units;
}

CoverageComparison CompareCommandCoverage(const std::vector<std::pair<Kernel::String, Kernel::String>>& registered,
                                          const RecordedCommandSet& recorded) {
    CoverageComparison result;
    auto cursor = recorded.begin();
    for (const auto& [identifier, name] : registered) {
        while (cursor != recorded.end() && cursor->Compare(identifier) < 0) result.unregistered.push_back(*cursor++);
        if (cursor != recorded.end() && cursor->Compare(identifier) == 0)
            ++cursor;
        else if (!name.IsEmpty())
            result.unrecorded.push_back(name);
    }
    for (; cursor != recorded.end(); ++cursor) result.unregistered.push_back(*cursor);
    std::stable_sort(result.unrecorded.begin(), result.unrecorded.end(), EngineStringLess());
    return result;
}

int RunUnitsAndSummarise(const std::vector<Kernel::String>& tested, const std::vector<Kernel::String>& other,
                         bool testIgnored, const Kernel::String& outputDirectory) {
    FailedUnits.clear();
    RecordedCommandSet recorded;
    for (const Kernel::String& path : tested) {
        UnitProcess unit(path);
        if (!RunUnitProcess(unit)) FailedUnits.push_back(unit);
        if (RegressionRunFlags.coverage) {
            recorded.insert(unit.RecordedCommands.begin(), unit.RecordedCommands.end());
            PrintLine(FormatWithUInt64("Recorded %1 commands", unit.RecordedCommands.size()));
        }
    }

    std::puts("\n*********** SUMMARY ***********\n");
    std::fflush(stdout);

    // The summary is gathered in memory and both logs replace their files whole at the end,
    // so a reader, or a runner killed meanwhile, never leaves or meets a truncated log.
    char* summaryText = nullptr;
    size_t summarySize = 0;
    FILE* summary = open_memstream(&summaryText, &summarySize);
    if (RegressionRunFlags.coverage) PrintCoverageReport(recorded, summary);

    for (const UnitProcess& unit : FailedUnits) {
        // Report lines are kept as shown; the path begins the block's first line.
        Kernel::String block = FormatWithString("%1\n", ShownPath(unit.UnitPath));
        for (const Kernel::String& line : unit.ReportLines) block.Append(FormatWithString("%1\n", line));
        PrintSummaryLine(block, summary);
    }

    if (!testIgnored) {
        for (const Kernel::String& path : other)
            PrintSummaryLine(FormatWithString("Ignoring unit: %1.", ShownPath(path)), summary);
        PrintSummaryLine(Kernel::String(), summary);
    }

    const auto testedCount = static_cast<int32_t>(tested.size());
    const auto otherCount = static_cast<int32_t>(other.size());
    const auto failedCount = static_cast<int32_t>(FailedUnits.size());
    PrintSummaryLine(FormatWithInt("Units found:   %1", testedCount + otherCount), summary);
    PrintSummaryLine(FormatWithInt("Units ignored: %1", otherCount), summary);
    PrintSummaryLine(FormatWithInt("Units passed:  %1", testedCount - failedCount), summary);
    PrintSummaryLine(FormatWithInt("Units failed:  %1", failedCount), summary);

    std::string failedText;
    for (const UnitProcess& unit : FailedUnits) {
        Kernel::String path = unit.UnitPath;
        if (Kernel::PathTraitsUnix::IsRelative(path)) {
            Kernel::String absolute = Kernel::FileSystem::GetCurrentDirectory();
            AppendPathComponent(absolute, path);
            path = absolute;
        }
        path = Kernel::PathTraitsUnix::Canonicalize(path);
        // A line break would split the path into two wrong ones when the log is read back.
        if (path.View().find('\n') != std::string_view::npos) {
            std::fprintf(stderr, "Unit '%s' failed but is left out of failed.log: its path holds a line break\n",
                         ShownPath(path).c_str());
            std::fflush(stderr);
            continue;
        }
        failedText.append(path.View());
        failedText.push_back('\n');
    }

    {
        // Both files or neither: no termination signal may end the runner between the two.
        TerminationSignalsHeld held;
        if (summary && std::fclose(summary) == 0)
            WriteLogFile(OutputFilePath(outputDirectory, "summary.log"), std::string_view(summaryText, summarySize));
        WriteLogFile(OutputFilePath(outputDirectory, "failed.log"), failedText);
    }
    std::free(summaryText);
    return FailedUnits.empty() ? 0 : 1;
}

int RegressionMain(int argc, char const* const* argv) {
    Kernel::ShutdownSerialisation();
    InstallTerminationHandlers();

    const char* home = Kernel::GetEnv("HOME");
    const char* pwd = Kernel::GetEnv("PWD");
    if (home && pwd && std::strcmp(home, pwd) == 0) {
        Kernel::String directory = Kernel::FileSystem::GetExecutableDirectory();
        AppendPathComponent(directory, "../..");
        Kernel::FileSystem::SetCurrentDirectory(directory);
    }

    const Kernel::String outputDirectory = GetOutputDirectory();
    Kernel::FileSystem::CreateDirectoryRecursive(outputDirectory);

    Kernel::CommandLineArguments arguments(argc, argv);

    if (GetBoolOption(arguments, "help")) {
        std::puts(kRegressionHelpText);
        std::fflush(stdout);
        return 0;
    }

    if (GetBoolOption(arguments, "listignored")) {
        std::vector<Kernel::String> ignored;
        FindUnits(".", nullptr, &ignored);
        std::puts("\nIgnored units:\n");
        for (const Kernel::String& path : ignored) PrintLine(ShownPath(path));
        std::fflush(stdout);
        return 0;
    }

    RegressionRunFlagSet flags;
    if (GetBoolOption(arguments, "update")) {
        std::puts(kUpdateConfirmationText);
        std::fflush(stdout);
        std::string answer;
        if (!ReadAnswerLine(answer) || !IsUpdateConfirmed(answer)) return 0;
        flags.update = true;
    }
    flags.nodump = GetBoolOption(arguments, "nodump");
    flags.rendertimes = GetBoolOption(arguments, "rendertimes");
    flags.hardware = GetBoolOption(arguments, "hardware");
    flags.teamcity = GetBoolOption(arguments, "teamcity");
    flags.showcommands = GetBoolOption(arguments, "showcommands");
    flags.coverage = GetBoolOption(arguments, "coverage");
    flags.create = GetBoolOption(arguments, "create");
    RegressionRunFlags = flags;

    ExecutablePath = Kernel::FileSystem::GetExecutablePath();

    if (arguments.HasValue("file", "file")) {
        Kernel::String file = arguments.GetValue<Kernel::String>("file", "file", Kernel::String());
        if (file.IsEmpty()) {
            std::puts("No unit file specified");
            std::fflush(stdout);
            return 1;
        }
        if (!Kernel::FileSystem::IsFile(file)) {
            PrintLine(FormatWithString("Unit file '%1' not found", ShownPath(file)));
            return 1;
        }
        if (!IsUnitFile(file)) return 1;
        UnitProcess unit(file);
        return RunUnitProcess(unit) ? 0 : 1;
    }

    const bool testIgnored = GetBoolOption(arguments, "testignored");
    const bool retestFailed = GetBoolOption(arguments, "retestfailed");

    std::vector<Kernel::String> units;
    std::vector<Kernel::String> ignored;
    if (retestFailed) {
        // A list that cannot be read is kept as it is for a later run, and nothing tested is no pass.
        std::optional<std::vector<Kernel::String>> failed = ReadFailedUnitsLog(OutputFilePath(outputDirectory, "failed.log"));
        if (!failed) return 1;
        units = std::move(*failed);
    } else
        FindUnits(".", &units, &ignored);

    return testIgnored ? RunUnitsAndSummarise(ignored, units, true, outputDirectory)
                       : RunUnitsAndSummarise(units, ignored, false, outputDirectory);
}

#include "app/UnitStatics.h"
