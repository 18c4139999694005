// The Foundation pieces the application uses: objects, strings, numbers, collections,
// user defaults and bundles.
#pragma once
#include "Collections.h"
#include "NSBundle.h"
#include "NSCharacterSet.h"
#include "NSNotification.h"
#include "NSDate.h"
#include "NSString.h"
#include "NSURL.h"
#include "NSUserDefaults.h"
#include "NSValue.h"
#include "ObjectRuntime.h"
