// The application main loop and the AppKit pieces the application uses.
#pragma once

// Runs the interactive application; answers the process exit status.
int NSApplicationMain(int argc, char const* const* argv);
