// The line protocol between the unit executor (child) and the runner (parent):
// one record per line on the child's standard output, a tag then a payload.
#pragma once
#include <new>
#include <utility>
#include <vector>

#include "Kernel/String.h"

// ---- Child side -------------------------------------------------------------

// One test of the unit: "[START]" with the name on creation, "[END]" on destruction.
class RegressionLogSection {
public:
    explicit RegressionLogSection(const Kernel::String& name);
    ~RegressionLogSection();
    RegressionLogSection(const RegressionLogSection&) = delete;
    RegressionLogSection& operator=(const RegressionLogSection&) = delete;

    const Kernel::String& GetName() const { return m_name; }

private:
    Kernel::String m_name;
};

// The open section, or null; the executor's assertion handler reads it.
extern RegressionLogSection* CurrentRegressionLogSection;

// Set by every failure record of this process and never cleared.
extern bool FailureReported;

void RegressionLogInfo(const Kernel::String& message);
void RegressionLogFail(const Kernel::String& message);
void RegressionLogCommand(const Kernel::String& identifier, const Kernel::String& name);

// The failure of a test that ran out of memory, as RegressionLogFail writes it: "out of memory: "
// and what was being allocated (Kernel::DescribeAllocation). Written without allocating.
void RegressionLogOutOfMemory(const std::bad_alloc& error);

// Writes that failure in the open test, or, when none is open, in a test named section.
void ReportOutOfMemory(const char* section, const std::bad_alloc& error);

// Runs step. Memory running out in it (a std::bad_alloc, from any thread the step's work ran
// on) becomes a failure of the open test; when no test is open, of a test named section, opened
// for that failure alone. Answers whether step ran to its end.
template <class Step>
bool RunReportingOutOfMemory(const char* section, Step&& step) {
    try {
        step();
        return true;
    } catch (const std::bad_alloc& error) {
        ReportOutOfMemory(section, error);
        return false;
    }
}

// The payload as it goes on the wire: cut at the first NUL, every line feed or carriage return
// turned into a blank so that no text can forge a record, then shown as every console text is
// (Kernel::EscapeForMessage), so that a child run by hand prints no service message either.
Kernel::String SanitiseRecordPayload(const Kernel::String& payload);

// ---- Reader side ------------------------------------------------------------

inline constexpr const char kRecordStart[] = "[START]";
inline constexpr const char kRecordEnd[] = "[END]";
inline constexpr const char kRecordInfo[] = "[INFO]";
inline constexpr const char kRecordFail[] = "[FAIL]";
inline constexpr const char kRecordCommand[] = "[COMMAND]";

enum class ChildRecordKind { None, Start, Info, Fail, Command, End };

// True when the line begins with the tag's bytes; remainder gets what follows, untrimmed.
bool StartsWithTag(const Kernel::String& line, const char* tag, Kernel::String& remainder);

// Pieces between any of the delimiter characters, in order, empty pieces dropped.
std::vector<Kernel::String> SplitString(const Kernel::String& text, const char* delimiters);

// (identifier, name) of a command record's payload; the name only when there are exactly two pieces.
std::pair<Kernel::String, Kernel::String> SplitCommandRecord(const Kernel::String& payload);

// Which record the line is (None for an untagged line), with its payload.
ChildRecordKind RecogniseChildRecord(const Kernel::String& line, Kernel::String& payload);
