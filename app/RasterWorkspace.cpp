#include "app/RasterWorkspace.h"

#include "menus/ContextMenuController.h"
#include "app/LocalizedString.h"
#include "app/PersonaCodes.h"
#include "app/StudioRaster.h"
#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"

#include "app/UnitStatics.h"

QV_IMPLEMENT(RasterWorkspace, WorkspaceInfo) {
    c.method("initWithToolID:", &RasterWorkspace::initWithToolID);
    c.method("localisedName", &RasterWorkspace::localisedName);
    c.method("allowTextRuler:", &RasterWorkspace::allowTextRuler);
    c.method("allowTextFramePanel:", &RasterWorkspace::allowTextFramePanel);
    c.method("canCreatePathText:", &RasterWorkspace::canCreatePathText);
    c.method("allowTableText:", &RasterWorkspace::allowTableText);
    c.method("exposeHistorySnapshots:", &RasterWorkspace::exposeHistorySnapshots);
    c.method("shouldGenerateHistograms:", &RasterWorkspace::shouldGenerateHistograms);
    c.method("supportLiveFilters:", &RasterWorkspace::supportLiveFilters);
    c.method("supportLiveMasks:", &RasterWorkspace::supportLiveMasks);
    c.method("prefersPixelSelections:", &RasterWorkspace::prefersPixelSelections);
    c.method("allowRasterSelectionInLayersPage", &RasterWorkspace::allowRasterSelectionInLayersPage);
    c.method("prefersLinkageEditor", &RasterWorkspace::prefersLinkageEditor);
    c.method("allowContextChooser", &RasterWorkspace::allowContextChooser);
}

namespace {
}  // namespace

RasterWorkspace::~RasterWorkspace() { shutdown(); }

NSObject* RasterWorkspace::init() { return initWithToolID(0); }

RasterWorkspace* RasterWorkspace::initWithToolID(int32_t tool) {
    if (!initWithID(PersonaCode::Raster, Kernel::String("Tavik"), Kernel::String("MainMenuRaster"), tool))
        return nullptr;
    _isPersistant = YES;
    _viewIsRaster = YES;
    m_keyboardAcceleratorController = New<RasterToolsKeyboardAcceleratorPopulator>();
    return this;
}

Ref<RasterWorkspace> RasterWorkspace::NewWithToolID(int32_t tool) {
    auto* workspace = new RasterWorkspace;
    if (!workspace->initWithToolID(tool)) {
        workspace->release();
        return nullptr;
    }
    return Ref<RasterWorkspace>::adopt(workspace);
}

void RasterWorkspace::startup() {
    m_studioController = New<StudioRaster>();
    m_contextMenuController = New<ContextMenuController>();
}

void RasterWorkspace::shutdown() {
    m_contextMenuController = nullptr;
    m_studioController = nullptr;
}

void RasterWorkspace::resetMenusAndKeys() {
    WorkspaceInfo::resetMenusAndKeys();
    m_keyboardAcceleratorController = New<RasterToolsKeyboardAcceleratorPopulator>();
}

NSObject* RasterWorkspace::studioController() const { return m_studioController.get(); }
NSObject* RasterWorkspace::keyboardAcceleratorController() const { return m_keyboardAcceleratorController.get(); }
NSObject* RasterWorkspace::contextMenuController() const { return m_contextMenuController.get(); }

Ref<NSString> RasterWorkspace::localisedName() { return LocalizedStringWithContext("Tavik", "Persona Name"); }
