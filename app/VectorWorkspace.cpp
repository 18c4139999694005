#include "app/VectorWorkspace.h"

#include "menus/ContextMenuController.h"
#include "app/LocalizedString.h"
#include "app/PersonaCodes.h"
#include "app/StudioVector.h"
#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

#include "app/UnitStatics.h"

QV_IMPLEMENT(VectorWorkspace, WorkspaceInfo) {
    c.method("localisedName", &VectorWorkspace::localisedName);
    c.method("allowTextRuler:", &VectorWorkspace::allowTextRuler);
    c.method("allowTextFramePanel:", &VectorWorkspace::allowTextFramePanel);
    c.method("canCreatePathText:", &VectorWorkspace::canCreatePathText);
    c.method("allowTableText:", &VectorWorkspace::allowTableText);
    c.method("supportsCreateArtboards:", &VectorWorkspace::supportsCreateArtboards);
    c.method("supportGridPlanes:", &VectorWorkspace::supportGridPlanes);
    c.method("allowContextChooser", &VectorWorkspace::allowContextChooser);
    c.method("supportsTextureOnStroke", &VectorWorkspace::supportsTextureOnStroke);
}

namespace {
constexpr ToolID PrimaryToolID = 1;
}  // namespace

VectorWorkspace::~VectorWorkspace() { shutdown(); }

NSObject* VectorWorkspace::init() {
    if (!initWithID(PersonaCode::Vector, Kernel::String("Draw"), Kernel::String("MainMenuVector"), PrimaryToolID))
        return nullptr;
    _preferredBrushType = 1;
    _drawColourContextAsLine = YES;
    _isPersistant = YES;
    _supportsDeformGroupLayer = YES;
    m_keyboardAcceleratorController = New<VectorToolsKeyboardAcceleratorPopulator>();
    return this;
}

void VectorWorkspace::startup() {
    m_studioController = New<StudioVector>();
    m_contextMenuController = New<ContextMenuController>();
}

void VectorWorkspace::shutdown() {
    m_studioController = nullptr;
    m_contextMenuController = nullptr;
}

void VectorWorkspace::resetMenusAndKeys() {
    WorkspaceInfo::resetMenusAndKeys();
    m_keyboardAcceleratorController = New<VectorToolsKeyboardAcceleratorPopulator>();
}

NSObject* VectorWorkspace::studioController() const { return m_studioController.get(); }
NSObject* VectorWorkspace::keyboardAcceleratorController() const { return m_keyboardAcceleratorController.get(); }
NSObject* VectorWorkspace::contextMenuController() const { return m_contextMenuController.get(); }

Ref<NSString> VectorWorkspace::localisedName() { return LocalizedStringWithContext("Drovanel", "Persona Name"); }
