// The open panel is a save panel that chooses an existing file (NSSavePanel.h).
#pragma once
#include "AppKit/NSSavePanel.h"
