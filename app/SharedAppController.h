// Decides which persona actions the framework may offer.
#pragma once
#include "UIFramework/AppController.h"

class SharedAppController : public AppController {
    QV_OBJECT(SharedAppController)
public:
    BOOL isSelectorAllowed(SEL action) override;
};
