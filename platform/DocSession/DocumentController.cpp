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

std::string SetCurrentSelectionCommand::Describe() const {
    std::string s = "SetCurrentSelectionCommand";
    if (m_selection) s += " items=" + std::to_string(m_selection->GetCount());
    for (bool f : m_flags) s += f ? " true" : " false";
    s += " visible=" + std::to_string(static_cast<int>(m_ensureVisible));
    return s;
}
