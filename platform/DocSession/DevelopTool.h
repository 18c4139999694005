// The Develop persona's tool: it holds the develop operation open on a raw image's document.
#pragma once
#include "Tools.h"

class DevelopTool : public Tool {
public:
    using Tool::Tool;
    const char* GetClassName() const override { return "DevelopTool"; }
    // Commits the develop operation open on the tool's document; what that does is the engine's.
    virtual bool Commit();
};
