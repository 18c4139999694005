#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace Kernel {

// The environment variable's value, or null when it is not set.
const char* GetEnv(const char* name);

class System {
public:
    static uint64_t GetRamCount();             // installed memory in bytes
    static int GetCpuCount(bool logical);      // processors
};

// Whether the graphics-processor telemetry is collected (off: this machine renders on the processor).
bool IsGPUTelemetryEnabled();

namespace Testing {
void SetGPUTelemetryEnabled(bool enabled);
// Names asked of GetEnv since start-up or the last reset, in order.
std::vector<std::string> GetEnvRequests();
void ResetGetEnvRequests();
}  // namespace Testing

}  // namespace Kernel
