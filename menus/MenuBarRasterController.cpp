// Interim: the controller's shared part comes with the layer and adjustment actions.
#include "menus/MenuBarRasterController.h"

#include "UIFramework/AppController.h"

QV_IMPLEMENT(MenuBarRasterController, MenuBarController) {
    c.method("setM_secretSeparator:", &MenuBarRasterController::setSecretSeparator);
    MenuBarRasterController_fillDocumentSelectors(c);
}

Ref<DocumentView> MenuBarRasterController::TakeCurrentView() {
    AppController* controller = AppController::controller();
    return controller ? Ref<DocumentView>(controller->getCurrentView()) : Ref<DocumentView>();
}

Kernel::Counted<Tool> MenuBarRasterController::CurrentTool(DocumentView* view) {
    return view ? view->currentTool() : Kernel::Counted<Tool>();
}

Kernel::Counted<DocumentController const> MenuBarRasterController::CurrentDocument(DocumentView* view) {
    return Kernel::Counted<DocumentController const>(view ? view->unsafeDocumentController() : nullptr);
}
