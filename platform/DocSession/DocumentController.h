// A document's controller, as far as the application reads it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DocumentCommand.h"
#include "DomainController.h"
#include "Kernel/Counted.h"
#include "Selection.h"
#include "SpellChecker.h"
#include "Tools.h"

class DocumentHistory;
class DocumentSnapshot;
class Macro;
namespace Raster {
class ICCProfile;
using Format = uint32_t;
}  // namespace Raster

class DocumentController : public DomainController {
public:
    explicit DocumentController(std::string name = "Untitled") : m_name(std::move(name)) { m_currentSelection = m_selection; }
    DocumentController(const DocumentController&) = delete;
    DocumentController& operator=(const DocumentController&) = delete;

    // The document's tools in order; an entry may be null. Read in place by callers.
    const std::vector<Tool*>& GetTools() const { return m_tools; }
    // Adds a tool to the end of the list (the controller keeps one count on it; null allowed).
    void AddTool(Kernel::Counted<Tool> tool) { m_tools.push_back(tool.Detach()); }
    // The document's tool of that id; empty when it has none.
    Kernel::Counted<Tool> GetToolByID(ToolID id) const;
    // Whether artboards can be added to the document.
    bool CanAddArtboards() const;
    // Whether a macro is being recorded on this document.
    bool IsRecordingMacro() const;
    // The last command the document ran that can be repeated; empty when there is none.
    Kernel::Counted<DocumentCommand> GetLastRepeatableCommand() const;
    // Whether the document is saved with its history.
    bool GetSaveHistory() const;
    // The document's selection, whatever tool restrictions apply.
    Kernel::Counted<Selection const> GetUnrestrictedSelection() const { return m_selection; }
    // The document's own spell checker (the words ignored in it).
    Kernel::Counted<DocumentSpellChecker> GetSpellChecker() const { return m_spellChecker; }

    // Stand-in state, set by tests and the headless application.
    const std::string& GetName() const { return m_name; }
    void SetRecordingMacro(bool recording) { m_recordingMacro = recording; }
    void SetCanAddArtboards(bool can) { m_canAddArtboards = can; }
    // Sets both the unrestricted and the current selection.
    void SetSelection(Kernel::Counted<Selection const> selection) {
        m_currentSelection = selection;
        m_selection = std::move(selection);
    }
    void SetLastRepeatableCommand(Kernel::Counted<DocumentCommand> command);
    void SetSaveHistory(bool on) { m_saveHistory = on; }

    // The current selection, read in place by callers; may be empty.
    Kernel::Counted<Selection const> m_currentSelection;

    ~DocumentController() override {
        StopCommandQueue();
        for (Tool* t : m_tools)
            if (t) t->DecrementRefCount();
    }

    // ---- Document content, history and commands (DocumentEngine.cpp) ----
    struct NewDocParams {};
    // Returns once the document's queued commands have all run.
    void Settle();
    // Runs the command now, on the calling thread.
    void ExecuteCommand(Kernel::Counted<DocumentCommand> command);
    // Queues the command on the document's command queue and returns.
    void EnqueueCommand(Kernel::Counted<DocumentCommand> command);
    DocumentHistory GetDocumentHistory();
    Kernel::Counted<Macro> GetMacro() const;
    int32_t GetSnapshotCount() const;
    Kernel::Counted<DocumentSnapshot> GetSnapshotAtIndex(int32_t index) const;
    // Makes this (empty) controller a new document holding the snapshot's state.
    bool NewDocument(Kernel::Counted<DocumentSnapshot> snapshot, const NewDocParams& params);
    // The pixel format (8, no format, while there is no content) and the colour profile.
    Raster::Format GetFormat() const;
    Kernel::Counted<Raster::ICCProfile> GetProfile() const;
    // The content; null for a controller that has none.
    DocEngine::DocumentModel* GetModel() const { return m_model.get(); }
    void SetModel(std::unique_ptr<DocEngine::DocumentModel, DocEngine::DocumentModelDeleter> model);

private:
    std::unique_ptr<DocEngine::DocumentModel, DocEngine::DocumentModelDeleter> m_model;

    std::vector<Tool*> m_tools;
    std::string m_name;
    bool m_recordingMacro = false;
    bool m_canAddArtboards = true;
    bool m_saveHistory = false;
    Kernel::Counted<DocumentCommand> m_lastRepeatable;
    Kernel::Counted<Selection const> m_selection{new Selection};
    Kernel::Counted<DocumentSpellChecker> m_spellChecker{new DocumentSpellChecker};
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
