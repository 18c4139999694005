// The application main loop and the AppKit pieces the application uses.
#pragma once
#include "AppKit/NSApplication.h"
#include "AppKit/NSMenu.h"
#include "AppKit/NSSpellChecker.h"
#include "AppKit/NSView.h"
#include "AppKit/NibLoading.h"
#include "AppKit/NSWindow.h"
#include "AppKit/NSSavePanel.h"

// Runs the interactive application; answers the process exit status.
int NSApplicationMain(int argc, char const* const* argv);
