#include "regression/ChildOutput.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Kernel/Format.h"
#include "Kernel/OutOfMemory.h"

RegressionLogSection* CurrentRegressionLogSection = nullptr;
bool FailureReported = false;

namespace {
// One record goes out in one write and one flush, so it reaches the pipe whole.
void WriteRecord(const char* tag, const Kernel::String& payload) {
    std::string line(tag);
    line.append(SanitiseRecordPayload(payload).View());
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}
}  // namespace

Kernel::String SanitiseRecordPayload(const Kernel::String& payload) {
    const char* text = payload.GetBuffer();
    std::string clean(text, std::strlen(text));
    for (char& c : clean)
        if (c == '\n' || c == '\r') c = ' ';
    return Kernel::String(Kernel::EscapeForMessage(clean));
}

RegressionLogSection::RegressionLogSection(const Kernel::String& name) : m_name(name) {
    WriteRecord(kRecordStart, m_name);  // first: a section whose line could not be made is never current
    CurrentRegressionLogSection = this;
}

RegressionLogSection::~RegressionLogSection() {
    WriteRecord(kRecordEnd, Kernel::String());
    CurrentRegressionLogSection = nullptr;
}

void RegressionLogInfo(const Kernel::String& message) { WriteRecord(kRecordInfo, message); }

void RegressionLogFail(const Kernel::String& message) {
    WriteRecord(kRecordFail, message);
    FailureReported = true;
}

void RegressionLogOutOfMemory(const std::bad_alloc& error) {
    // No string is made: memory is what is short. The text stays on its line, as every payload does.
    std::fputs(kRecordFail, stdout);
    std::fputs("out of memory: ", stdout);
    for (const char* c = Kernel::DescribeAllocation(error); *c; ++c)
        std::fputc(*c == '\n' || *c == '\r' ? ' ' : *c, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
    FailureReported = true;
}

void ReportOutOfMemory(const char* section, const std::bad_alloc& error) {
    if (CurrentRegressionLogSection) return RegressionLogOutOfMemory(error);
    try {
        RegressionLogSection open((Kernel::String(section)));
        RegressionLogOutOfMemory(error);
    } catch (const std::bad_alloc&) {
        // Too little memory even to open the test (nothing of it was written): its lines go
        // out as they are.
        std::fputs(kRecordStart, stdout);
        std::fputs(section, stdout);
        std::fputc('\n', stdout);
        RegressionLogOutOfMemory(error);
        std::fputs(kRecordEnd, stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void RegressionLogCommand(const Kernel::String& identifier, const Kernel::String& name) {
    Kernel::String payload = SanitiseRecordPayload(identifier);
    payload.Append("|", 1);
    payload.Append(SanitiseRecordPayload(name));
    WriteRecord(kRecordCommand, payload);
}

bool StartsWithTag(const Kernel::String& line, const char* tag, Kernel::String& remainder) {
    size_t tagLength = std::strlen(tag);
    if (line.GetLength() < tagLength || std::memcmp(line.GetBuffer(), tag, tagLength) != 0) return false;
    remainder = Kernel::String(line.GetBuffer() + tagLength, line.GetLength() - tagLength);
    return true;
}

std::vector<Kernel::String> SplitString(const Kernel::String& text, const char* delimiters) {
    std::vector<Kernel::String> pieces;
    std::string_view v = text.View();
    std::string_view delims(delimiters ? delimiters : "");
    size_t start = 0;
    for (size_t i = 0; i <= v.size(); ++i) {
        if (i == v.size() || delims.find(v[i]) != std::string_view::npos) {
            if (i > start) pieces.emplace_back(v.substr(start, i - start));
            start = i + 1;
        }
    }
    return pieces;
}

std::pair<Kernel::String, Kernel::String> SplitCommandRecord(const Kernel::String& payload) {
    std::vector<Kernel::String> pieces = SplitString(payload, "|");
    if (pieces.empty()) return {};
    return {pieces[0], pieces.size() == 2 ? pieces[1] : Kernel::String()};
}

ChildRecordKind RecogniseChildRecord(const Kernel::String& line, Kernel::String& payload) {
    static const std::pair<const char*, ChildRecordKind> kTags[] = {
        {kRecordStart, ChildRecordKind::Start},     {kRecordInfo, ChildRecordKind::Info},
        {kRecordFail, ChildRecordKind::Fail},       {kRecordCommand, ChildRecordKind::Command},
        {kRecordEnd, ChildRecordKind::End},
    };
    for (const auto& [tag, kind] : kTags)
        if (StartsWithTag(line, tag, payload)) return kind;
    payload = Kernel::String();
    return ChildRecordKind::None;
}

#include "app/UnitStatics.h"
