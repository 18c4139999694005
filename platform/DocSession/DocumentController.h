// A document's controller, as far as the application reads it.
#pragma once
#include <string>
#include <vector>

#include "Kernel/Counted.h"
#include "Selection.h"
#include "Tools.h"

class DocumentController : public Kernel::Countable {
public:
    explicit DocumentController(std::string name = "Untitled") : m_name(std::move(name)) {}
    DocumentController(const DocumentController&) = delete;
    DocumentController& operator=(const DocumentController&) = delete;

    // The document's tools in order; an entry may be null. Read in place by callers.
    const std::vector<Tool*>& GetTools() const { return m_tools; }
    // Adds a tool to the end of the list (the controller keeps one count on it; null allowed).
    void AddTool(Kernel::Counted<Tool> tool) { m_tools.push_back(tool.Detach()); }
    // The document's tool of that id; empty when it has none.
    Kernel::Counted<Tool> GetToolByID(ToolID id) const;
    // Whether a macro is being recorded on this document.
    bool IsRecordingMacro() const;
    // The document's selection, whatever tool restrictions apply.
    Kernel::Counted<Selection const> GetUnrestrictedSelection() const { return m_selection; }

    // Stand-in state, set by tests and the headless application.
    const std::string& GetName() const { return m_name; }
    void SetRecordingMacro(bool recording) { m_recordingMacro = recording; }
    void SetSelection(Kernel::Counted<Selection const> selection) { m_selection = std::move(selection); }

    ~DocumentController() override {
        for (Tool* t : m_tools)
            if (t) t->DecrementRefCount();
    }

private:
    std::vector<Tool*> m_tools;
    std::string m_name;
    bool m_recordingMacro = false;
    Kernel::Counted<Selection const> m_selection{new Selection};
};

// The document of a view session: holds a count on its controller.
class DocumentControllerSession : public Kernel::Countable {
public:
    explicit DocumentControllerSession(Kernel::Counted<DocumentController> controller)
        : m_controller(std::move(controller)) {}
    // Non-owning: the caller never releases it.
    DocumentController* GetDocumentController() const { return m_controller.Get(); }

private:
    Kernel::Counted<DocumentController> m_controller;
};
