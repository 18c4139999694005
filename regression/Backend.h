// The unit executor around the test sequence: headless engine start-up and shutdown, the unit
// options, the command listing and the memory-leak test. RunRegressionUnit (RegressionEntry.h)
// runs them in order.
#pragma once
#include <cstdint>

#include "Kernel/CommandLine.h"
#include "Kernel/EngineServices.h"
#include "Kernel/String.h"

inline constexpr const char kEngineScratchFolderName[] = "7E15CF93-B21C-4F36-9EE3-3B8CCA88A2DA";
inline constexpr const char kDefaultCMYKProfileName[] = "USWebCoatedSWOP.icc";

// Memory in MiB the engine starts with when "ram" is not given: the machine's, at least 1024.
int DefaultRamMiB(uint64_t installedBytes);

void InitBackend(const Kernel::CommandLineArguments& arguments, const Kernel::String& resources,
                 const Kernel::String& temporary);
// True in "getcommands" mode; otherwise whether the unit passed.
bool ReadUnitOptions(const Kernel::CommandLineArguments& arguments);
void ShutdownBackend();
// True when the engine holds no planar, compressed or backstore memory any more.
bool RunMemoryLeakTest();

void NullSchedulingSink(Kernel::Counted<Kernel::Schedulable> work, Kernel::Schedulable::Action action, int delay,
                        int priority);
void InitBackendAssertHandler(const char* file, const char* expression, uint32_t line);
