// The stand-in's pixel selection, spreads, fade answers and the pixel menu's yes/no queries:
// each query is recorded and answers what the test or the headless source set.
#include "CallLog.h"
#include "DocumentController.h"
#include "DocumentEngine.h"
#include "RasterBaseTarget.h"

Kernel::Counted<SelectionRasterNode> DocumentController::GetRasterSelection() const {
    CallLog::Call("DocumentController::GetRasterSelection");
    return m_rasterSelection;
}

Kernel::Counted<Spread> DocumentController::GetCurrentSpread() const {
    CallLog::Call("DocumentController::GetCurrentSpread");
    return m_currentSpread;
}

namespace {
std::string NodeArg(const Kernel::Counted<MutableRasterInterface const>& node) {
    const auto* described = dynamic_cast<const Node*>(node.Get());
    return node ? "<" + (described ? described->GetDescription(false) : std::string("raster")) + ">" : "null";
}
}  // namespace

bool DocumentHistory::CanFadeRewind(Kernel::Counted<MutableRasterInterface const> node) const {
    CallLog::Call("DocumentHistory::CanFadeRewind", CallLog::Raw{NodeArg(node)});
    return m_document && node && m_document->StandInFadeAnswers().canFadeRewind;
}

Kernel::StringT<Kernel::TEncUtf8> DocumentHistory::GetMutableRasterBackingDescription(
    Kernel::Counted<MutableRasterInterface const> node) const {
    CallLog::Call("DocumentHistory::GetMutableRasterBackingDescription", CallLog::Raw{NodeArg(node)});
    if (!m_document || !node) return {};
    return Kernel::StringT<Kernel::TEncUtf8>(m_document->StandInFadeAnswers().backingDescription);
}

namespace Kestrane {

RasterBaseTarget::QueryAnswers& RasterBaseTarget::StandInQueryAnswers() {
    static QueryAnswers answers;
    return answers;
}

#define QV_DEFINE_TOOL_QUERY(Name)                                           \
    bool RasterBaseTarget::Name(Kernel::Counted<Tool> tool) {                \
        CallLog::Call("Kestrane::RasterBaseTarget::" #Name, tool);           \
        return StandInQueryAnswers().Name;                                   \
    }
QV_RASTER_TOOL_QUERIES(QV_DEFINE_TOOL_QUERY)
#undef QV_DEFINE_TOOL_QUERY

bool CommonBaseTarget::CanMaskToBelow(Kernel::Counted<DocumentController const> document) {
    CallLog::Call("Kestrane::CommonBaseTarget::CanMaskToBelow", document);
    return RasterBaseTarget::StandInQueryAnswers().CanMaskToBelow;
}

}  // namespace Kestrane
