// The develop tool's operations that the application calls.
#pragma once
#include "Tools.h"

// Commits the develop operation open on the tool's document; the result is the engine's.
bool CommitDevelopOperation(DevelopTool& tool);
