// Text helpers shared by the regression runner and the unit executor: message
// formatting with numbered placeholders and path editing on engine strings.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "Kernel/String.h"

// Each returns a new string: the template with "%1" (and "%2", "%3") replaced.
Kernel::String FormatWithString(const char* format, const Kernel::String& value);
Kernel::String FormatWithTwoStrings(const char* format, const Kernel::String& first, const Kernel::String& second);
Kernel::String FormatWithThreeStrings(const char* format, const Kernel::String& first, const Kernel::String& second,
                                      const Kernel::String& third);
// Numbers in plain decimal, no digit grouping.
Kernel::String FormatWithInt(const char* format, int32_t value);
Kernel::String FormatWithUInt64(const char* format, uint64_t value);
// "%1" a plain text, "%2" an engine string.
Kernel::String FormatWithTextAndString(const char* format, const char* text, const Kernel::String& value);

// Text from outside (a path, a test name, a child's message) as every console line and log
// shows it: see Kernel::EscapeForMessage.
inline Kernel::String Shown(const Kernel::String& text) { return Kernel::String(Kernel::EscapeForMessage(text.View())); }
// A path as above, cut where no path the system takes reaches: a unit's path may be a line of
// failed.log, which may be as long as that file.
inline Kernel::String ShownPath(const Kernel::String& path) {
    return Kernel::String(Kernel::Excerpt(path.View(), Kernel::kPathExcerptBytes));
}

// Appends a plain text in place.
void AppendText(Kernel::String& target, const char* text);

// Keeps the text before the last "/" (empty when there is none), then drops one
// trailing "/" from a result of two or more characters.
void RemoveLastPathComponent(Kernel::String& path);

// Joins the component to the path with one separator; a null or empty component
// leaves the path alone.
void AppendPathComponent(Kernel::String& path, const char* component, size_t length);
void AppendPathComponent(Kernel::String& path, const char* component);
void AppendPathComponent(Kernel::String& path, const Kernel::String& component);

// Reads a file that may be missing. Anything else that keeps it from being read (a FIFO, a
// folder, no permission, more than limit bytes) is told on standard error as
// "<what> '<path>' can't be read: <reason>".
// error, when given, receives why it was not read.
bool ReadOptionalFile(const char* what, const Kernel::String& path, uint64_t limit, std::string& text,
                      Kernel::FileSystem::ReadError* error = nullptr);

// The lines of a text file: a line feed ends a line, the last line needs none, and each line
// ends at its first NUL byte.
std::vector<std::string_view> SplitFileLines(std::string_view text);
