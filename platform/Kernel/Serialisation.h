// The engine's object serialisation service.
#pragma once

namespace Kernel {

// Ends the serialisation service for the rest of the process; a process that
// never loads or saves documents (the regression runner) calls it first.
void ShutdownSerialisation();

// Whether ShutdownSerialisation has been called in this process.
bool IsSerialisationShutDown();

}  // namespace Kernel
