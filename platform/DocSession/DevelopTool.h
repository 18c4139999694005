// The Develop persona's tool (declared with the other tools).
#pragma once
#include "Tools.h"
