// The reader of failed.log, for --retestfailed: the input is the log. It must hand out one
// unit per line that names one, and a list written back one a line must read back the same.
#include "FuzzSupport.h"
#include "regression/Runner.h"

namespace {
std::string g_log;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    g_log = Fuzz::ScratchFolder() + "/failed.log";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Fuzz::WriteWholeFile(g_log, text);
    const std::vector<Kernel::String> units = ReadFailedUnitsLog(Kernel::String(g_log)).value_or(std::vector<Kernel::String>());

    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    if (!text.empty() && text.back() != '\n') ++lines;
    FUZZ_CHECK(units.size() <= lines, "%zu units from %zu lines", units.size(), lines);
    std::string written;
    for (const Kernel::String& unit : units) {
        const std::string_view v = unit.View();
        FUZZ_CHECK(!v.empty(), "an empty unit path");
        FUZZ_CHECK(v.find('\n') == std::string_view::npos && v.find('\0') == std::string_view::npos,
                   "a unit path holds a line feed or a NUL: %s", Fuzz::Shown(v).c_str());
        written.append(v);
        written.push_back('\n');
    }
    Fuzz::WriteWholeFile(g_log, written);
    const std::optional<std::vector<Kernel::String>> read = ReadFailedUnitsLog(Kernel::String(g_log));
    FUZZ_CHECK(read.has_value(), "a log written one unit a line can't be read back");
    const std::vector<Kernel::String>& reread = *read;
    FUZZ_CHECK(reread.size() == units.size(), "%zu units written, %zu read back", units.size(), reread.size());
    for (size_t i = 0; i < units.size(); ++i)
        FUZZ_CHECK(reread[i] == units[i], "unit %zu read back as %s", i, Fuzz::Shown(reread[i].View()).c_str());
    return 0;
}
