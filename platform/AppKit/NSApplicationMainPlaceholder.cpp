// Placeholder main loop until the headless application is built.
#include <cstdio>

#include "AppKit/AppKit.h"

int NSApplicationMain(int, char const* const*) {
    std::fputs("quirevale: no graphical interface is available.\n", stderr);
    return 0;
}
