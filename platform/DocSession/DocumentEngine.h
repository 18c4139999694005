// The document engine as the regression side calls it: loading and saving documents, the
// document history, snapshots and macro, the commands that change them, and command coverage.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "DocumentCommand.h"
#include "DocumentController.h"
#include "DocumentModel.h"
#include "Kernel/Counted.h"
#include "Kernel/String.h"
#include "Raster/ICCManager.h"
#include "Tools.h"

// A view of a document's history: the entries and the undo position (the number of entries
// in effect; entries after it can be redone).
class DocumentHistory {
public:
    explicit DocumentHistory(DocumentController* document) : m_document(document) {}
    int32_t GetSize() const;
    int32_t GetUndoPosition() const;
    // Keeps at most the persona controller's stack limit of entries: the oldest entries in
    // effect become part of the document's base content, entries to redo are dropped.
    void EnforceStackLimit();
    // Whether the last change of the node can be faded (RasterDocumentParts.cpp).
    bool CanFadeRewind(Kernel::Counted<MutableRasterInterface const> node) const;
    // What the node's pixels are kept in, for the Fade item's title.
    Kernel::StringT<Kernel::TEncUtf8> GetMutableRasterBackingDescription(Kernel::Counted<MutableRasterInterface const> node) const;

private:
    DocumentController* m_document;
};

// A recorded macro: drawing commands to be played again on a document.
class Macro : public Kernel::Countable {
public:
    explicit Macro(DocEngine::CommandList commands);
    // The recorded commands as the document file writes them.
    const std::vector<Kernel::String>& GetRawCommands() const { return m_raw; }
    const DocEngine::CommandList& GetCommands() const { return m_commands; }

private:
    DocEngine::CommandList m_commands;
    std::vector<Kernel::String> m_raw;
};

// A named state of a document, kept beside its history.
class DocumentSnapshot : public Kernel::Countable {
public:
    DocumentSnapshot(Kernel::String description, bool wanted, const DocEngine::FormatInfo* format,
                     Kernel::Counted<Raster::ICCProfile> profile, std::string profileName,
                     std::vector<std::pair<int, int>> spreads, DocEngine::CommandList commands);

    const Kernel::String& GetDescription() const { return m_description; }
    bool IsWantedForRegression() const { return m_wanted; }
    const DocEngine::FormatInfo* GetFormat() const { return m_format; }
    const Kernel::Counted<Raster::ICCProfile>& GetProfile() const { return m_profile; }
    const std::string& GetProfileName() const { return m_profileName; }
    const std::vector<std::pair<int, int>>& GetSpreadSizes() const { return m_spreads; }
    const DocEngine::CommandList& GetCommands() const { return m_commands; }
    // The snapshot's pixels, drawn when first asked for: most snapshots are never shown.
    // Guarded by the mutex of the document that holds the snapshot.
    DocEngine::Content& GetContent();
    bool IsDrawn() const { return m_isDrawn; }

private:
    Kernel::String m_description;
    bool m_wanted;
    const DocEngine::FormatInfo* m_format;
    Kernel::Counted<Raster::ICCProfile> m_profile;
    std::string m_profileName;
    std::vector<std::pair<int, int>> m_spreads;
    DocEngine::CommandList m_commands;
    DocEngine::Content m_content;
    std::once_flag m_drawn;
    bool m_isDrawn = false;
};

class DocumentControllerArchive {
public:
    // Ends the moving of the document's tiles to the scratch folder. The stand-in keeps every
    // tile in memory, so it only notes that offlining has stopped.
    static void StopOfflining(const Kernel::Counted<DocumentController>& document);
    static bool IsOfflining(const Kernel::Counted<DocumentController>& document);
};

// Options for opening a document; none are defined yet.
class LoadDocumentOptions : public Kernel::Countable {};

// Opens a document file. Run with Execute at once; m_documentController then holds the
// document, or is empty with GetError telling why (the file's path and line).
class LoadDocumentCommand : public DocumentCommand {
public:
    LoadDocumentCommand(Kernel::String path, bool readOnly, int loadMode, bool asCopy, bool loadRAWLinear,
                        Kernel::Counted<LoadDocumentOptions> options);
    using DocumentCommand::Execute;
    void Execute();
    std::string Describe() const override;
    const Kernel::String& GetError() const { return m_error; }

    bool m_addToRecentDocuments = true;  // the persona controller's list of recent documents
    Kernel::Counted<DocumentController> m_documentController;

private:
    Kernel::String m_path;
    Kernel::String m_error;
};

// Writes the document to a file in the document format.
class SaveDocumentAsCommand : public DocumentCommand {
public:
    SaveDocumentAsCommand(Kernel::String path, bool flatten, bool asTemplate);
    bool IsQueued() const override { return true; }
    void Execute(DocumentController& document) override;
    std::string Describe() const override;
    bool Succeeded() const { return m_succeeded; }
    // Why the save failed ("cannot write the file: No space left on device", ...).
    const std::string& GetError() const { return m_error; }

    bool m_becomesDocumentPath = true;  // the document takes the new path as its own

private:
    Kernel::String m_path;
    bool m_succeeded = false;
    std::string m_error;
};

// Moves the undo position: index -1 is before the first entry, index i after entry i.
class SetHistoryIndexCommand : public DocumentCommand {
public:
    explicit SetHistoryIndexCommand(int32_t index) : m_index(index) {}
    bool IsQueued() const override { return true; }
    void Execute(DocumentController& document) override;
    std::string Describe() const override;

private:
    int32_t m_index;
};

// Plays a macro (the document's own when the handle is empty) as new history entries.
class ReplayMacroCommand : public DocumentCommand {
public:
    ReplayMacroCommand(Kernel::Counted<Macro> macro, int scaleMode, int alignMode)
        : m_macro(std::move(macro)), m_scaleMode(scaleMode), m_alignMode(alignMode) {}
    bool IsQueued() const override { return true; }
    void Execute(DocumentController& document) override;
    std::string Describe() const override;

private:
    Kernel::Counted<Macro> m_macro;
    int m_scaleMode;  // the stand-in plays macros at their recorded size and place
    int m_alignMode;
};

// Makes identical tiles of the document's tile store one shared tile.
class DeduplicateTilestoreCommand : public DocumentCommand {
public:
    bool IsQueued() const override { return true; }
    void Execute(DocumentController& document) override;
    std::string Describe() const override { return "DeduplicateTilestoreCommand"; }
    size_t GetTilesReleased() const { return m_released; }

private:
    size_t m_released = 0;
};

namespace Commands {
// Flattens a document's layers; the stand-in's documents have one layer, so there is nothing to do.
class FlattenCommand : public DocumentCommand {
public:
    std::string Describe() const override { return "FlattenCommand"; }
};
}  // namespace Commands


// Data the engine carries over from an earlier version's settings; the stand-in has none.
class MigrationPlatformData : public Kernel::Countable {};

// The document commands the engine knows (identifier to display name) and, while a session
// lives, which of them have run.
class CommandCoverage {
public:
    using Registry = std::map<Kernel::String, Kernel::String>;

    static CommandCoverage& Instance();
    const Registry& GetRegisteredCommands() const { return m_registry; }
    Registry::const_iterator begin() const { return m_registry.begin(); }
    Registry::const_iterator end() const { return m_registry.end(); }
    // The command's name; empty for an identifier that is not registered.
    Kernel::String _FindCommandName(const Kernel::String& identifier) const;

    // Told by the engine each time a command runs, on whatever thread runs it.
    static void RecordExecutedCommand(const Kernel::String& identifier);

    class Session {
    public:
        Session();
        ~Session();
        Session(const Session&) = delete;
        Session& operator=(const Session&) = delete;
        // Identifier to the number of times it ran while the session lived, in key order.
        std::map<Kernel::String, uint32_t> GetRecordedCommands() const;

    private:
        friend class CommandCoverage;
        mutable std::mutex m_mutex;
        std::map<Kernel::String, uint32_t> m_recorded;
    };

private:
    CommandCoverage();
    Registry m_registry;
};
