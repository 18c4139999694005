// A document's content inside the engine: what its file holds, the pixels of its base content
// and of its current history position, and its snapshots and macro.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "DocumentEngine.h"
#include "DocumentModel.h"

namespace DocEngine {

class DocumentModel {
public:
    // Draws the base content, the snapshots and the history up to its position.
    DocumentModel(const DocumentSpec& spec, Kernel::Counted<Raster::ICCProfile> profile, std::string path);
    // A document holding the snapshot's state as its base content, with no history.
    explicit DocumentModel(DocumentSnapshot& snapshot);
    ~DocumentModel();
    DocumentModel(const DocumentModel&) = delete;
    DocumentModel& operator=(const DocumentModel&) = delete;

    // Held by every operation below that reads or changes the content.
    std::mutex& Mutex() const { return m_loans->Mutex(); }

    const FormatInfo& GetFormat() const { return *m_format; }
    const std::vector<std::pair<int, int>>& GetSpreadSizes() const { return m_spreads; }
    const Kernel::Counted<Raster::ICCProfile>& GetProfile() const { return m_profile; }
    const std::string& GetPath() const { return m_path; }
    void SetPath(std::string path) { m_path = std::move(path); }
    size_t GetHistorySize() const { return m_history.size(); }
    size_t GetPosition() const { return m_position; }
    const Kernel::Counted<Macro>& GetMacro() const { return m_macro; }
    const std::vector<Kernel::Counted<DocumentSnapshot>>& GetSnapshots() const { return m_snapshots; }
    bool IsOfflining() const { return m_offlining; }
    void StopOfflining() { m_offlining = false; }

    // Redone entries count as run for command coverage; undone ones are drawn again from the base.
    void SetHistoryIndex(int32_t index);
    // Drops the entries to redo, then runs the commands as new entries.
    void AppendCommands(const CommandList& commands);
    void EnforceStackLimit(int limit);
    size_t Deduplicate();

    std::vector<Raster::DynamicBitmap> Render() const;
    DocumentSpec ToSpec() const;

private:
    // The content is drawn when first needed, not at load: a unit's first document is saved
    // and closed without ever being shown.
    void EnsureDrawn() const;
    // Drawn, and drawn anew when a render wrote a block lent to it, or may still do so.
    void EnsureWhole() const;
    // Whole, and about to change: loans made before can no longer be taken for writing.
    void BeginChange();

    std::shared_ptr<ContentLoans> m_loans = std::make_shared<ContentLoans>();
    const FormatInfo* m_format;
    Kernel::Counted<Raster::ICCProfile> m_profile;
    std::string m_profileName;
    std::string m_path;
    std::vector<std::pair<int, int>> m_spreads;
    CommandList m_base;
    CommandList m_history;
    size_t m_position = 0;
    mutable Content m_baseContent;
    mutable Content m_content;
    mutable std::once_flag m_drawn;
    Kernel::Counted<Macro> m_macro;
    std::vector<Kernel::Counted<DocumentSnapshot>> m_snapshots;
    bool m_offlining = true;
};

}  // namespace DocEngine
