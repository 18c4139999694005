// The runner's reader of child-output lines, through the runner itself: a stand-in child prints
// the input, and the runner reports on it and writes its summary, once as TeamCity service
// messages (with --showcommands and --coverage) and once plain. Input: the child's output, or a
// unit path, a NUL byte and the output. Whatever the child prints and the path holds, no line
// of the console or of summary.log may begin a service message other than the runner's own,
// each of the runner's values must be escaped, no line may hold a byte that could act on a
// terminal (but the runner's colours), and failed.log must read back as the failed unit.
#include <sys/stat.h>

#include "FuzzSupport.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "regression/Runner.h"
#include "regression/UnitProcess.h"

namespace {

std::string g_childOutput;  // what the stand-in child prints
std::string g_childStatus;  // how it ends: an exit status, or "kill"

void WriteChild(const std::string& script) {
    Fuzz::WriteWholeFile(script,
                         "#!/bin/sh\n"
                         "cat -- '" + g_childOutput + "'\n"
                         "read how < '" + g_childStatus + "'\n"
                         "if [ \"$how\" = kill ]; then kill -KILL $$; fi\n"
                         "exit \"$how\"\n");
    chmod(script.c_str(), 0700);
}

// A unit path below the scratch folder that cannot climb out of it.
std::string UnitPath(std::string_view given) {
    std::string path = Fuzz::ScratchFolder() + "/units/";
    if (given.empty()) given = "a.kqvle";
    for (char c : given) path.push_back(c == '.' && path.back() == '.' ? '_' : c);
    return path;
}

constexpr std::string_view kServiceStart = "##teamcity[";

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(char(code));
    } else if (code < 0x800) {
        out.push_back(char(0xC0 | code >> 6));
        out.push_back(char(0x80 | (code & 0x3F)));
    } else {
        out.push_back(char(0xE0 | code >> 12));
        out.push_back(char(0x80 | (code >> 6 & 0x3F)));
        out.push_back(char(0x80 | (code & 0x3F)));
    }
}

// A path as a TeamCity value brings it back: a byte of no character was escaped as its value.
std::string AsTeamCityReadsIt(std::string_view path) {
    std::string out;
    for (size_t i = 0; i < path.size();) {
        uint32_t code = 0;
        const size_t length = Fuzz::WellFormedLength(path, i, code);
        if (length == 0) AppendUtf8(out, static_cast<unsigned char>(path[i++]));
        else out.append(path.substr(i, length)), i += length;
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Checks the rest of a service message after "##teamcity[": a name, then name='value' pairs,
// then "]" at the end of the line. The values come back unescaped in order.
bool ParseServiceMessage(std::string_view text, std::string& name, std::vector<std::pair<std::string, std::string>>& attributes,
                         std::string& why) {
    auto isName = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    size_t i = 0;
    while (i < text.size() && isName(text[i])) ++i;
    name = std::string(text.substr(0, i));
    if (name.empty()) return why = "no message name", false;
    for (;;) {
        if (i < text.size() && text[i] == ']') {
            if (i + 1 != text.size()) return why = "text after the closing bracket", false;
            return true;
        }
        if (i >= text.size() || text[i] != ' ') return why = "no blank before an attribute", false;
        ++i;
        const size_t start = i;
        while (i < text.size() && isName(text[i])) ++i;
        std::string attribute(text.substr(start, i - start));
        if (attribute.empty() || text.substr(i, 2) != "='") return why = "no name='value' pair", false;
        i += 2;
        std::string value;
        for (;;) {
            if (i >= text.size()) return why = "a value without its closing quote", false;
            const char c = text[i];
            if (c == '\'') break;
            if (c == '[' || c == ']') return why = "an unescaped bracket in a value", false;
            if (c == '|' && text.substr(i + 1, 2) == "0x") {
                uint32_t code = 0;
                for (size_t k = i + 3; k < i + 7; ++k) {
                    const int digit = k < text.size() ? HexValue(text[k]) : -1;
                    if (digit < 0) return why = "a |0x escape without four hex digits", false;
                    code = code << 4 | uint32_t(digit);
                }
                AppendUtf8(value, code);
                i += 7;
                continue;
            }
            if (c == '|') {
                if (i + 1 >= text.size() || std::string_view("|'[]nrxlp").find(text[i + 1]) == std::string_view::npos)
                    return why = "a bar that escapes nothing", false;
                switch (text[i + 1]) {
                    case 'n': value += '\n'; break;
                    case 'r': value += '\r'; break;
                    case 'x': value += "\xC2\x85"; break;
                    case 'l': value += "\xE2\x80\xA8"; break;
                    case 'p': value += "\xE2\x80\xA9"; break;
                    default: value += text[i + 1]; break;
                }
                i += 2;
                continue;
            }
            value.push_back(c);
            ++i;
        }
        ++i;
        attributes.emplace_back(std::move(attribute), std::move(value));
    }
}

// Every line of one output: which of them are service messages, and that those are the runner's.
void CheckLines(const char* where, const std::string& text, bool teamcity, const std::string& unitPath) {
    int started = 0, finished = 0;
    for (std::string_view line : Fuzz::PhysicalLines(text)) {
        // Only the runner's own colours may act on the terminal, at a line's two ends.
        std::string_view uncoloured = line;
        for (std::string_view colour : {kColourRed, kColourBlue, "\033[32m"})
            if (uncoloured.starts_with(colour)) uncoloured.remove_prefix(colour.size());
        if (uncoloured.ends_with(kColourReset)) uncoloured.remove_suffix(std::string_view(kColourReset).size());
        const size_t unshown = Fuzz::FirstUnshownByte(uncoloured);
        FUZZ_CHECK(unshown == std::string_view::npos, "%s: byte %zu of a line is not shown text: %s", where, unshown,
                   Fuzz::Shown(line).c_str());
        std::string_view trimmed = line;
        while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
        if (!trimmed.starts_with(kServiceStart)) continue;
        FUZZ_CHECK(teamcity, "%s: a service message in plain output: %s", where, Fuzz::Shown(line).c_str());
        FUZZ_CHECK(trimmed.size() == line.size(), "%s: a service message after blanks: %s", where,
                   Fuzz::Shown(line).c_str());
        std::string name, why;
        std::vector<std::pair<std::string, std::string>> attributes;
        FUZZ_CHECK(ParseServiceMessage(line.substr(kServiceStart.size()), name, attributes, why),
                   "%s: a line that begins a service message is not the runner's (%s): %s", where, why.c_str(),
                   Fuzz::Shown(line).c_str());
        const bool test = name == "testStarted" || name == "testFinished" || name == "testFailed";
        FUZZ_CHECK(test || name == "message", "%s: a service message the runner never sends: %s", where,
                   Fuzz::Shown(line).c_str());
        if (test)
            FUZZ_CHECK(!attributes.empty() && attributes[0].first == "name" &&
                           attributes[0].second == AsTeamCityReadsIt(Kernel::Cut(unitPath, Kernel::kPathExcerptBytes)),
                       "%s: a test message about another test: %s", where, Fuzz::Shown(line).c_str());
        started += name == "testStarted";
        finished += name == "testFinished";
    }
    if (teamcity)
        FUZZ_CHECK(started == 1 && finished == 1, "%s: the test started %d and finished %d times", where, started,
                   finished);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    const std::string& scratch = Fuzz::ScratchFolder();
    g_childOutput = scratch + "/child-output";
    g_childStatus = scratch + "/child-status";
    mkdir((scratch + "/units").c_str(), 0700);
    mkdir((scratch + "/output").c_str(), 0700);
    mkdir((scratch + "/tmp").c_str(), 0700);
    // The children's, and so the runner's, temporary files stay in the scratch folder.
    setenv("TMPDIR", (scratch + "/tmp").c_str(), 1);
    const std::string child = scratch + "/child";
    WriteChild(child);
    ExecutablePath = Kernel::String(child);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [given, output] = Fuzz::SplitAtNul({reinterpret_cast<const char*>(data), size});
    const std::string unitPath = UnitPath(given);
    Fuzz::WriteWholeFile(g_childOutput, output);
    static const char* const kEndings[] = {"0", "255", "kill", "1"};
    Fuzz::WriteWholeFile(g_childStatus, std::string(kEndings[size % 4]) + "\n");

    const std::string outputFolder = Fuzz::ScratchFolder() + "/output";
    for (bool teamcity : {true, false}) {
        RegressionRunFlagSet flags;
        flags.teamcity = teamcity;
        flags.showcommands = teamcity;
        flags.coverage = teamcity;
        RegressionRunFlags = flags;
        unlink((outputFolder + "/summary.log").c_str());
        unlink((outputFolder + "/failed.log").c_str());

        Fuzz::Capture console(1);
        const int status = RunUnitsAndSummarise({Kernel::String(unitPath)}, {Kernel::String(unitPath)}, false,
                                                Kernel::String(outputFolder));
        const std::string printed = console.Stop();
        const char* mode = teamcity ? "console (TeamCity)" : "console (plain)";
        CheckLines(mode, printed, teamcity, unitPath);
        CheckLines("summary.log", Fuzz::ReadWholeFile(outputFolder + "/summary.log"), false, unitPath);

        FUZZ_CHECK(status == 0 || status == 1, "exit status %d", status);
        const std::vector<Kernel::String> failed =
            ReadFailedUnitsLog(Kernel::String(outputFolder + "/failed.log")).value_or(std::vector<Kernel::String>());
        if (status == 0 || unitPath.find('\n') != std::string::npos) {
            FUZZ_CHECK(failed.empty(), "failed.log names %zu units", failed.size());
        } else {
            FUZZ_CHECK(failed.size() == 1, "failed.log names %zu units, not the one that failed", failed.size());
            // The log holds the path as the runner writes it: absolute and canonical.
            const Kernel::String expected = Kernel::PathTraitsUnix::Canonicalize(Kernel::String(unitPath));
            FUZZ_CHECK(failed[0] == expected, "failed.log names %s for %s", Fuzz::Shown(failed[0].View()).c_str(),
                       Fuzz::Shown(expected.View()).c_str());
        }
    }
    RegressionRunFlags = RegressionRunFlagSet();
    return 0;
}
