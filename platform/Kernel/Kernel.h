// The foundation library: strings, counted handles, command line, files, dispatch and diagnostics.
#pragma once
#include "AssertTrap.h"
#include "CommandLine.h"
#include "Counted.h"
#include "CriticalSection.h"
#include "Dispatch.h"
#include "FileSystem.h"
#include "Format.h"
#include "String.h"
#include "System.h"
#include "Timer.h"
#include "Trace.h"
