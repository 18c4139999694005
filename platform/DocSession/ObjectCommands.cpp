#include "ObjectCommands.h"

#include <map>
#include <mutex>

#include "CallLog.h"

namespace {

constexpr std::string_view kQueries[] = {
    "ConvertToCurvesCommand::CanApplyTo",
    "ConvertToPictureFrameCommand::CanApplyTo",
    "ConvertToTextFrameCommand::CanApplyTo",
    "SetHyperlinkCommand::CanApplyToSelection",
    "PictureFramePropertiesCommand::CanApplyTo",
    "PictureFrameFitToContentCommand::CanApplyTo",
    "SetPreflightCommentCommand::CanSetPreflightComment",
    "SetPreflightCommentCommand::CanClearPreflightComment",
    "Kestrane::AnchorBaseTarget::CanInsertAnchor",
};

std::mutex g_mutex;
std::map<std::string, bool, std::less<>>& Answers() {
    static std::map<std::string, bool, std::less<>> answers;
    return answers;
}

bool Answer(std::string_view query, bool byDefault) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = Answers().find(query);
    return found == Answers().end() ? byDefault : found->second;
}

bool SelectionQuery(std::string_view query, const Kernel::Counted<Selection const>& selection,
                    const char* extra = nullptr) {
    if (extra) CallLog::Call(query, CallLog::Raw{CommandQueries::Describe(selection)}, CallLog::Raw{extra});
    else CallLog::Call(query, CallLog::Raw{CommandQueries::Describe(selection)});
    return Answer(query, selection && selection->GetCount() > 0);
}

}  // namespace

namespace CommandQueries {

void SetAnswer(std::string_view query, std::optional<bool> answer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (answer) Answers()[std::string(query)] = *answer;
    else if (auto found = Answers().find(query); found != Answers().end()) Answers().erase(found);
}

bool IsQuery(std::string_view query) {
    for (auto q : kQueries)
        if (q == query) return true;
    return false;
}

void ResetForTesting() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        Answers().clear();
    }
    PictureFramePropertiesCommand::SetCurrentAnchorForTesting(std::nullopt);
    PictureFramePropertiesCommand::SetCurrentControlForTesting(std::nullopt);
}

std::string Describe(const Kernel::Counted<Selection const>& selection) {
    return selection ? "<selection items=" + std::to_string(selection->GetCount()) + ">" : "nil";
}

}  // namespace CommandQueries

bool ConvertToCurvesCommand::CanApplyTo(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[0], selection);
}
bool ConvertToPictureFrameCommand::CanApplyTo(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[1], selection);
}
bool ConvertToTextFrameCommand::CanApplyTo(Kernel::Counted<Selection const> selection, bool flag) {
    return SelectionQuery(kQueries[2], selection, flag ? "true" : "false");
}
bool SetHyperlinkCommand::CanApplyToSelection(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[3], selection);
}
bool PictureFramePropertiesCommand::CanApplyTo(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[4], selection);
}
bool PictureFrameFitToContentCommand::CanApplyTo(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[5], selection);
}
bool SetPreflightCommentCommand::CanSetPreflightComment(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[6], selection);
}
bool SetPreflightCommentCommand::CanClearPreflightComment(Kernel::Counted<Selection const> selection) {
    return SelectionQuery(kQueries[7], selection);
}

bool Kestrane::AnchorBaseTarget::CanInsertAnchor(Kernel::Counted<Tool> tool) {
    CallLog::Call(kQueries[8], tool);
    return Answer(kQueries[8], static_cast<bool>(tool));
}

void Tool::ForceCursorInvalidate() { CallLog::Call("Tool::ForceCursorInvalidate", this); }
void Tool::OnContextMenuClosed() { CallLog::Call("Tool::OnContextMenuClosed", this); }
void Tool::OnContextMenuFinished() { CallLog::Call("Tool::OnContextMenuFinished", this); }
void Tool::SetSelectionBox() { CallLog::Call("Tool::SetSelectionBox", this); }
bool Tool::CanDeleteSelectedNodes(bool flag) const {
    CallLog::Call("Tool::CanDeleteSelectedNodes", this, flag);
    return m_canDeleteNodes;
}
void Tool::DeleteSelectedNodes(bool flag) { CallLog::Call("Tool::DeleteSelectedNodes", this, flag); }

namespace {
std::optional<int32_t> g_currentAnchor;
std::optional<unsigned int> g_currentControl;
}  // namespace

bool PictureFramePropertiesCommand::GetCurrentAnchor(Kernel::Counted<Selection const> selection, SpatialAnchor& anchor) {
    CallLog::Call("PictureFramePropertiesCommand::GetCurrentAnchor", CallLog::Raw{CommandQueries::Describe(selection)});
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_currentAnchor) return false;
    anchor = static_cast<SpatialAnchor>(*g_currentAnchor);
    return true;
}

bool PictureFramePropertiesCommand::GetCurrentControl(Kernel::Counted<Selection const> selection, unsigned int& control) {
    CallLog::Call("PictureFramePropertiesCommand::GetCurrentControl", CallLog::Raw{CommandQueries::Describe(selection)});
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_currentControl) return false;
    control = *g_currentControl;
    return true;
}

void PictureFramePropertiesCommand::SetCurrentAnchorForTesting(std::optional<int32_t> anchor) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_currentAnchor = anchor;
}

void PictureFramePropertiesCommand::SetCurrentControlForTesting(std::optional<unsigned int> control) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_currentControl = control;
}

std::string PictureFramePropertiesCommand::Describe() const {
    return "PictureFramePropertiesCommand(control=" + std::to_string(m_control) +
           ", anchor=" + std::to_string(static_cast<int32_t>(m_anchor)) +
           ", selection=" + CommandQueries::Describe(m_selection) + ")";
}

std::string ConvertToCurvesCommand::Describe() const {
    return "ConvertToCurvesCommand(selection=" + CommandQueries::Describe(m_selection) + ")";
}

std::string ConvertToPictureFrameCommand::Describe() const {
    return std::string("ConvertToPictureFrameCommand(") + (m_flag ? "true" : "false") + ")";
}

std::string SetPreflightCommentCommand::Describe() const {
    return "SetPreflightCommentCommand(" + CallLog::Arg(m_comment.View()) + " length=" +
           std::to_string(m_comment.GetLength()) + ", " + (m_flag ? "true" : "false") +
           ", selection=" + CommandQueries::Describe(m_selection) + ")";
}

void Kestrane::VectorBaseTarget::EnqueueConvertToTextFrameWithTool(Kernel::Counted<Tool> tool) {
    CallLog::Call("Kestrane::VectorBaseTarget::EnqueueConvertToTextFrameWithTool", tool);
}

void Kestrane::StructureBaseTarget::EnqueueAddNewVectorLayerWithCurrentSelectionWithTool(Kernel::Counted<Tool> tool) {
    CallLog::Call("Kestrane::StructureBaseTarget::EnqueueAddNewVectorLayerWithCurrentSelectionWithTool", tool);
}
