#include "Serialisation.h"

#include <atomic>

namespace Kernel {

namespace {
std::atomic<bool> g_serialisationShutDown{false};
}

void ShutdownSerialisation() { g_serialisationShutDown.store(true, std::memory_order_release); }

bool IsSerialisationShutDown() { return g_serialisationShutDown.load(std::memory_order_acquire); }

}  // namespace Kernel
