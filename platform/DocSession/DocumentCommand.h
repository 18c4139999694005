// Document commands: units of document work handed to the engine's command queue.
#pragma once
#include <string>

#include "Kernel/Counted.h"
#include "Kernel/LocalisedString.h"
#include "Selection.h"

class DocumentController;

class DocumentCommand : public Kernel::Countable {
public:
    virtual ~DocumentCommand() = default;
    // Whether the command runs on the document's command queue rather than at once.
    virtual bool IsQueued() const { return false; }
    // Does the command's work on the document; commands the engine only records do nothing.
    virtual void Execute(DocumentController& document) { (void)document; }
    virtual Kernel::LocalisedString GetDisplayName() const { return Kernel::LocalisedString(Describe()); }
    // A new command that does the same work again; empty when the command cannot be repeated.
    virtual Kernel::Counted<DocumentCommand> CreateRepeatCommand() const { return {}; }
    // How the call log names the command.
    virtual std::string Describe() const = 0;
};

enum class CurrentSpreadEnsureVisible : int { No = 0, Yes = 1 };

// Makes the given selection the document's current selection.
class SetCurrentSelectionCommand : public DocumentCommand {
public:
    SetCurrentSelectionCommand(Kernel::Counted<Selection const> selection, bool a, bool b, bool c,
                               CurrentSpreadEnsureVisible ensureVisible)
        : m_selection(std::move(selection)), m_flags{a, b, c}, m_ensureVisible(ensureVisible) {}
    const Kernel::Counted<Selection const>& GetSelection() const { return m_selection; }
    const bool* GetFlags() const { return m_flags; }
    CurrentSpreadEnsureVisible GetEnsureVisible() const { return m_ensureVisible; }
    std::string Describe() const override;

private:
    Kernel::Counted<Selection const> m_selection;
    bool m_flags[3];
    CurrentSpreadEnsureVisible m_ensureVisible;
};

// Expands the field glyphs of a selection (an empty handle means the current text selection).
class ExpandFieldGlyphCommand : public DocumentCommand {
public:
    explicit ExpandFieldGlyphCommand(Kernel::Counted<Selection const> selection) : m_selection(std::move(selection)) {}
    const Kernel::Counted<Selection const>& GetSelection() const { return m_selection; }
    std::string Describe() const override { return m_selection ? "ExpandFieldGlyphCommand" : "ExpandFieldGlyphCommand null"; }

private:
    Kernel::Counted<Selection const> m_selection;
};

// Switches the pixel persona between editing the selection as a layer and editing the layer.
class ToggleEditSelectionAsLayerCommand : public DocumentCommand {
public:
    std::string Describe() const override { return "ToggleEditSelectionAsLayerCommand"; }
};
