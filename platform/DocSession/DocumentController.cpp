#include "DocumentController.h"

#include "CallLog.h"
#include "DocumentCommand.h"

Kernel::Counted<Tool> DocumentController::GetToolByID(ToolID id) const {
    CallLog::Call("DocumentController::GetToolByID", id);
    for (Tool* t : m_tools)
        if (t && t->GetToolID() == id) return Kernel::Counted<Tool>(t);
    return {};
}

bool DocumentController::CanAddArtboards() const {
    CallLog::Call("DocumentController::CanAddArtboards");
    return m_canAddArtboards;
}

bool DocumentController::IsRecordingMacro() const {
    CallLog::Call("DocumentController::IsRecordingMacro");
    return m_recordingMacro;
}

Kernel::Counted<DocumentCommand> DocumentController::GetLastRepeatableCommand() const {
    CallLog::Call("DocumentController::GetLastRepeatableCommand");
    return m_lastRepeatable;
}

void DocumentController::SetLastRepeatableCommand(Kernel::Counted<DocumentCommand> command) {
    m_lastRepeatable = std::move(command);
}

bool DocumentController::GetSaveHistory() const {
    CallLog::Call("DocumentController::GetSaveHistory");
    return m_saveHistory;
}

std::string SetCurrentSelectionCommand::Describe() const {
    std::string s = "SetCurrentSelectionCommand";
    if (m_selection) s += " items=" + std::to_string(m_selection->GetCount());
    for (bool f : m_flags) s += f ? " true" : " false";
    s += " visible=" + std::to_string(static_cast<int>(m_ensureVisible));
    return s;
}
