#pragma once
#include <functional>
#include <string>

namespace Kernel {

// Writes a diagnostic text through the current trace sink (standard error by default).
void Trace(const char* text);
bool IsTraceEnabled();
namespace Testing {
void SetTraceEnabled(bool enabled);  // on at start
}

// Replaces the trace sink; an empty function restores standard error. Answers the previous sink.
std::function<void(const std::string&)> SetTraceSink(std::function<void(const std::string&)> sink);

}  // namespace Kernel
