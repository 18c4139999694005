#include "RasterDocumentCommands.h"

#include "CallLog.h"
#include "RecordPrinter.h"

AddChildNodesCommand::AddChildNodesCommand(bool a, NodeChildListType listType, bool b, bool c, bool d,
                                           Kernel::Counted<Geometry::CurveDbl> curve,
                                           Kernel::Counted<Selection const> selection, InsertionMode insertion,
                                           int index, ApplyDefault first, ApplyDefault second)
    : m_flags{a, b, c, d},
      m_listType(listType),
      m_curve(std::move(curve)),
      m_selection(std::move(selection)),
      m_insertion(insertion),
      m_index(index),
      m_applyDefaults{first, second} {}

std::string AddChildNodesCommand::Describe() const {
    std::string nodes;
    for (const auto& n : m_nodes) nodes += (nodes.empty() ? "" : ", ") + (n ? n->GetDescription(true) : "null");
    return "AddChildNodesCommand(" + CallLog::Arg(m_flags[0]) + ", " + std::to_string(static_cast<int>(m_listType)) +
           ", " + CallLog::Arg(m_flags[1]) + ", " + CallLog::Arg(m_flags[2]) + ", " + CallLog::Arg(m_flags[3]) + ", " +
           (m_curve ? "<curve>" : "null") + ", " + (m_selection ? "<selection>" : "null") + ", " +
           std::to_string(static_cast<int>(m_insertion)) + ", " + std::to_string(m_index) + ", " +
           std::to_string(static_cast<int>(m_applyDefaults[0])) + ", " +
           std::to_string(static_cast<int>(m_applyDefaults[1])) + ") nodes=[" + nodes +
           "] flag=" + CallLog::Arg(m_commandFlag);
}

std::string RasterFillCommand::Describe() const {
    return "RasterFillCommand(" + std::to_string(static_cast<int>(m_mode)) + ", " +
           (m_colour ? Renderer::Describe(m_colour.Get()) : std::string("empty colour")) + ", " +
           CallLog::Number(m_opacity) + ", " + std::to_string(static_cast<int>(m_blendMode)) + ")";
}

std::string AddDocumentSnapshotCommand::Describe() const {
    return "AddDocumentSnapshotCommand(" + CallLog::Arg(m_name) + ")";
}
std::string SetSaveHistoryCommand::Describe() const { return "SetSaveHistoryCommand(" + CallLog::Arg(m_on) + ")"; }
std::string ShowAllTextCommand::Describe() const { return "ShowAllTextCommand(" + CallLog::Arg(m_show) + ")"; }

Kernel::Counted<DocumentCommand> RepeatableCommand::CreateRepeatCommand() const {
    CallLog::Call("DocumentCommand::CreateRepeatCommand", static_cast<const DocumentCommand*>(this));
    if (!m_canRepeat) return {};
    return Kernel::Counted<DocumentCommand>(new RepeatedCommand(m_name));
}
std::string RepeatableCommand::Describe() const { return "RepeatableCommand " + CallLog::Arg(m_name); }
std::string RepeatedCommand::Describe() const { return "RepeatedCommand " + CallLog::Arg(m_name); }
