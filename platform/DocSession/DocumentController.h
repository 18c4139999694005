// A document's controller, as far as the application reads it.
#pragma once
#include <vector>

#include "Kernel/Counted.h"
#include "Tools.h"

class DocumentController : public Kernel::Countable {
public:
    // The document's tools in order; an entry may be null. Read in place by callers.
    const std::vector<Tool*>& GetTools() const { return m_tools; }
    // Adds a tool to the end of the list (the controller keeps one count on it; null allowed).
    void AddTool(Kernel::Counted<Tool> tool) { m_tools.push_back(tool.Detach()); }
    Kernel::Counted<Tool> GetToolByID(ToolID id) const {
        for (Tool* t : m_tools)
            if (t && t->GetToolID() == id) return Kernel::Counted<Tool>(t);
        return {};
    }
    ~DocumentController() override {
        for (Tool* t : m_tools)
            if (t) t->DecrementRefCount();
    }

private:
    std::vector<Tool*> m_tools;
};
