#include "context_menu_test_support.h"

QV_IMPLEMENT(FrameApp, NSApplication) { c.method("allowPictureFrames", &FrameApp::allowPictureFrames); }
