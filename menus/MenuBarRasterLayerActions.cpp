// Live filter layers, merges, raster selections from objects, mask layers, mask to below and
// scopes of the pixel menu.
#include "DocSession/PersonaController.h"
#include "DocSession/RasterBaseTarget.h"
#include "DocSession/RasterDocumentCommands.h"
#include "Kernel/Dispatch.h"
#include "UIFramework/AppController.h"
#include "app/PersonaCodes.h"
#include "menus/MenuBarRasterController.h"

using Target = Kestrane::RasterBaseTarget;

#define QV_DEFINE_TOOL_ACTION(sel, entry)                          \
    void MenuBarRasterController::sel(NSObject*) {                 \
        Ref<DocumentView> view = TakeCurrentView();                \
        Target::entry(CurrentTool(view.get()));                    \
    }
QV_RASTER_MENU_LIVE_FILTERS(QV_DEFINE_TOOL_ACTION)
QV_RASTER_MENU_MERGES_AND_SELECTIONS(QV_DEFINE_TOOL_ACTION)
#undef QV_DEFINE_TOOL_ACTION

void MenuBarRasterController::addLiquifyFilterRasterLayer(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    // The tool handle goes with the statement; the view is kept until the action returns.
    Target::EnqueueAddLiquifyFilterRasterNodeWithTool(CurrentTool(view.get()));
    // Straight into Liquify, without the entry check of the persona menu.
    if (AppController* controller = AppController::controller()) controller->setupWorkspaceByUID(PersonaCode::Liquify);
}

void MenuBarRasterController::mergeVisible(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    if (IsDragging(view.get())) return;
    Target::EnqueueMergeVisibleWithTool(CurrentTool(view.get()));
}

#define QV_DEFINE_MASK_ACTION(sel, entry)                          \
    void MenuBarRasterController::sel(NSObject*) {                 \
        Ref<DocumentView> view = TakeCurrentView();                \
        if (!view) return;                                         \
        Target::entry(view->currentTool());                        \
    }
QV_RASTER_MENU_MASKS(QV_DEFINE_MASK_ACTION)
#undef QV_DEFINE_MASK_ACTION

namespace {
// The engine may finish a range mask on any thread: the completion touches no view, document or
// panel there, and only posts the panel's opening to the main thread.
std::function<void()> OpenLiveMaskPanelOnMainThread() {
    return [] {
        Kernel::Dispatch::DispatchOnMainThread(
            std::function<void()>([] { AppPanelManager::standardPanelManager()->showLiveMaskPanel(); }));
    };
}
}  // namespace

#define QV_DEFINE_RANGE_MASK_ACTION(sel, entry)                              \
    void MenuBarRasterController::sel(NSObject*) {                           \
        Ref<DocumentView> view = TakeCurrentView();                          \
        if (!view) return;                                                   \
        Target::entry(view->currentTool(), OpenLiveMaskPanelOnMainThread()); \
    }
QV_RASTER_MENU_RANGE_MASKS(QV_DEFINE_RANGE_MASK_ACTION)
#undef QV_DEFINE_RANGE_MASK_ACTION

void MenuBarRasterController::maskToBelow(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    if (!view) return;
    Kestrane::CommonBaseTarget::MaskToBelow(CurrentDocument(view.get()), false);
}

void MenuBarRasterController::addScope(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    Kernel::Counted<Node> group(new SelectionGroupNode);
    Kernel::Counted<AddChildNodesCommand> command(new AddChildNodesCommand(
        true, NodeChildListType(0), false, true, false, Kernel::Counted<Geometry::CurveDbl>(),
        Kernel::Counted<Selection const>(), InsertionMode(6), 0, ApplyDefault(2), ApplyDefault(2)));
    command->AddNode(group);
    command->m_commandFlag = true;
    PersonaController* engine = PersonaController::GetInstance();
    engine->EnqueueCommand(command, CurrentDocument(view.get()), false);
}
