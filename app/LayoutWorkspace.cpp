#include "app/LayoutWorkspace.h"

#include "menus/ContextMenuController.h"
#include "app/LocalizedString.h"
#include "app/PersonaCodes.h"
#include "app/StudioLayout.h"
#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"

#include "app/UnitStatics.h"

QV_IMPLEMENT(LayoutWorkspace, WorkspaceInfo) {
    c.method("localisedName", &LayoutWorkspace::localisedName);
    c.method("allowTextRuler:", &LayoutWorkspace::allowTextRuler);
    c.method("allowTextFramePanel:", &LayoutWorkspace::allowTextFramePanel);
    c.method("canCreatePathText:", &LayoutWorkspace::canCreatePathText);
    c.method("canCreateTextColumns:", &LayoutWorkspace::canCreateTextColumns);
    c.method("allowTableText:", &LayoutWorkspace::allowTableText);
    c.method("allowViewRotation:", &LayoutWorkspace::allowViewRotation);
    c.method("allowContextChooser", &LayoutWorkspace::allowContextChooser);
}

namespace {
constexpr ToolID PrimaryToolID = 1;
}  // namespace

LayoutWorkspace::~LayoutWorkspace() { shutdown(); }

NSObject* LayoutWorkspace::init() {
    if (!initWithID(PersonaCode::Layout, Kernel::String("Layout"), Kernel::String("MainMenuLayout"), PrimaryToolID))
        return nullptr;
    _preferredBrushType = 0;
    _drawColourContextAsLine = YES;
    _supportsPixelLayer = NO;
    _isPersistant = YES;
    m_keyboardAccelerator = New<LayoutToolsKeyboardAcceleratorPopulator>();
    return this;
}

void LayoutWorkspace::startup() {
    m_studioController = New<StudioLayout>();
    m_contextMenuController = New<ContextMenuController>();
}

void LayoutWorkspace::shutdown() {
    m_studioController = nullptr;
    m_contextMenuController = nullptr;
}

void LayoutWorkspace::resetMenusAndKeys() {
    WorkspaceInfo::resetMenusAndKeys();
    m_keyboardAccelerator = New<LayoutToolsKeyboardAcceleratorPopulator>();
}

NSObject* LayoutWorkspace::studioController() const { return m_studioController.get(); }
NSObject* LayoutWorkspace::keyboardAcceleratorController() const { return m_keyboardAccelerator.get(); }
NSObject* LayoutWorkspace::contextMenuController() const { return m_contextMenuController.get(); }

Ref<NSString> LayoutWorkspace::localisedName() { return LocalizedStringWithContext("Quirevale", "Persona Name"); }
