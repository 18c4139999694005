#include "app/SharedAppController.h"

#include "app/PersonaActions.h"
#include "app/UnitStatics.h"

QV_IMPLEMENT(SharedAppController, AppController) {}

BOOL SharedAppController::isSelectorAllowed(SEL action) {
    uint32_t persona;
    if (!PersonaActions::CodeForAction(action, persona)) return YES;
    return supportsWorkspace(persona);
}
