#include "EngineFaults.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string_view>

#include "Kernel/FileSystem.h"

namespace EngineFaults {

namespace {
Faults& Storage() {
    static Faults faults = [] {
        const char* text = std::getenv("QUIREVALE_ENGINE_FAULT");
        Faults parsed = Parse(text ? text : "");
        const char* unit = std::getenv("QUIREVALE_ENGINE_FAULT_UNIT");
        if (unit) parsed.unit = unit;
        return parsed;
    }();
    return faults;
}

std::atomic<bool>& UnitLoaded() {
    static std::atomic<bool> loaded{false};
    return loaded;
}

std::atomic<uint32_t>& StepsTaken() {
    static std::atomic<uint32_t> taken{0};
    return taken;
}

// A count written in digits; 0 when it is not one.
uint32_t ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 6) return 0;
    uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + uint32_t(c - '0');
    }
    return value;
}
}  // namespace

Faults Parse(const std::string& text) {
    Faults faults;
    std::string_view rest(text);
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string_view word = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        while (!word.empty() && word.front() == ' ') word.remove_prefix(1);
        while (!word.empty() && word.back() == ' ') word.remove_suffix(1);
        if (word == "crash") faults.crash = true;
        else if (word == "leak") faults.leak = true;
        else if (word == "assert") faults.assertion = true;
        else if (word == "full") faults.full = true;
        else if (word == "slow") faults.slowMilliseconds = 200;
        else if (word.starts_with("slow:")) {
            std::string digits(word.substr(5));
            char* end = nullptr;
            unsigned long ms = std::strtoul(digits.c_str(), &end, 10);
            if (!digits.empty() && end && *end == 0 && ms <= 60000) faults.slowMilliseconds = uint32_t(ms);
        } else if (word.starts_with("nomemory:")) {
            std::string_view step = word.substr(9);
            const size_t colon = step.find(':');
            const uint32_t at = colon == std::string_view::npos ? 1 : ParseCount(step.substr(colon + 1));
            step = step.substr(0, colon);
            for (std::string_view known : {"render", "undo", "redo", "macro", "tilestore", "teardown"})
                if (step == known && at > 0) {
                    faults.noMemoryStep = std::string(step);
                    faults.noMemoryAt = at;
                }
        }
    }
    return faults;
}

const Faults& Current() {
    static const Faults none;
    const Faults& faults = Storage();
    return faults.unit.empty() || UnitLoaded().load() ? faults : none;
}

void NoteDocumentLoaded(const std::string& path) {
    const Faults& faults = Storage();
    if (faults.unit.empty()) return;
    const size_t slash = path.rfind('/');
    if (path.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, faults.unit) == 0)
        UnitLoaded() = true;
}

void Step(std::string_view step) {
    const Faults& faults = Current();
    if (!faults.noMemoryStep.empty() && step == faults.noMemoryStep && ++StepsTaken() == faults.noMemoryAt)
        throw std::bad_alloc();
}

bool SaveFile(const std::string& path, std::string_view data, std::string& reason) {
    if (Current().full) {
        reason = std::string("cannot write the file: ") + std::strerror(ENOSPC);
        return false;
    }
    return Kernel::FileSystem::WriteFileAtomically(Kernel::Path(path), data, reason);
}

void SetForTesting(const Faults& faults) {
    Storage() = faults;
    UnitLoaded() = false;
    StepsTaken() = 0;
}

}  // namespace EngineFaults
