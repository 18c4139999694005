// The nine persona actions and their persona codes.
#pragma once
#include <cstdint>

#include "Foundation/Foundation.h"

namespace PersonaActions {
// Answers whether action is a persona action and, if so, its code (the technical code as it
// stands now). Tested in the order tavik, draw, liquify, develop, export, technical, pixel,
// layout, HDR.
bool CodeForAction(SEL action, uint32_t& code);
}  // namespace PersonaActions
