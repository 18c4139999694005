#include "regression/RegressionStrings.h"

#include <cstdio>
#include <string_view>
#include <vector>

#include "Kernel/FileSystem.h"

namespace {
Kernel::String FormatWith(const char* format, std::vector<Kernel::String> args) {
    Kernel::String out;
    Kernel::AppendFormatVT(out, format ? std::string_view(format) : std::string_view(), args);
    return out;
}
}  // namespace

Kernel::String FormatWithString(const char* format, const Kernel::String& value) {
    return FormatWith(format, {value});
}

Kernel::String FormatWithTwoStrings(const char* format, const Kernel::String& first, const Kernel::String& second) {
    return FormatWith(format, {first, second});
}

Kernel::String FormatWithThreeStrings(const char* format, const Kernel::String& first, const Kernel::String& second,
                                      const Kernel::String& third) {
    return FormatWith(format, {first, second, third});
}

Kernel::String FormatWithInt(const char* format, int32_t value) {
    return FormatWith(format, {Kernel::ToStringT(static_cast<int64_t>(value))});
}

Kernel::String FormatWithUInt64(const char* format, uint64_t value) {
    return FormatWith(format, {Kernel::ToStringT(value)});
}

Kernel::String FormatWithTextAndString(const char* format, const char* text, const Kernel::String& value) {
    return FormatWith(format, {Kernel::String(text ? text : ""), value});
}

void AppendText(Kernel::String& target, const char* text) { target.Append(text); }

void RemoveLastPathComponent(Kernel::String& path) {
    std::string_view v = path.View();
    size_t slash = v.rfind('/');
    size_t keep = slash == std::string_view::npos ? 0 : slash;
    if (keep >= 2 && v[keep - 1] == '/') --keep;
    path.Truncate(keep);
}

void AppendPathComponent(Kernel::String& path, const char* component, size_t length) {
    if (!component || length == 0) return;
    path = Kernel::PathTraitsUnix::Append(path, std::string_view(component, length));
}

void AppendPathComponent(Kernel::String& path, const char* component) {
    AppendPathComponent(path, component, Kernel::BaseCharTraits<char>::GetLength(component));
}

void AppendPathComponent(Kernel::String& path, const Kernel::String& component) {
    AppendPathComponent(path, component.GetBuffer(), component.GetLength());
}

bool ReadOptionalFile(const char* what, const Kernel::String& path, uint64_t limit, std::string& text,
                      Kernel::FileSystem::ReadError* errorOut) {
    Kernel::FileSystem::ReadError own;
    Kernel::FileSystem::ReadError& error = errorOut ? *errorOut : own;
    if (Kernel::FileSystem::ReadFile(path, text, limit, &error)) return true;
    if (!error.missing) {
        std::fprintf(stderr, "%s '%s' can't be read: %s\n", what, Kernel::EscapeForMessage(path.View()).c_str(),
                     error.reason.c_str());
        std::fflush(stderr);
    }
    return false;
}

std::vector<std::string_view> SplitFileLines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        lines.push_back(line.substr(0, line.find('\0')));
        start = end + 1;
    }
    return lines;
}

#include "app/UnitStatics.h"
