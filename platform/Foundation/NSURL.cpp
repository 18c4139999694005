#include "NSURL.h"

QV_IMPLEMENT(NSURL, NSObject) {}
