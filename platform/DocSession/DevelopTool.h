// The Develop persona's tool (declared with the other tools): it holds the develop operation open
// on a raw image's document.
#pragma once
#include "Tools.h"
