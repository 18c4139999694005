#include "UIFramework/WorkspaceInfo.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(WorkspaceInfo, NSObject) {
    c.method("startup", &WorkspaceInfo::startup);
    c.method("shutdown", &WorkspaceInfo::shutdown);
    c.method("resetMenusAndKeys", &WorkspaceInfo::resetMenusAndKeys);
    c.method("canShutdown", &WorkspaceInfo::canShutdown);
    c.method("kestraneUID", &WorkspaceInfo::kestraneUID);
    c.method("localisedName", &WorkspaceInfo::localisedName);
    c.method("allowTextRuler:", &WorkspaceInfo::allowTextRuler);
    c.method("allowTextFramePanel:", &WorkspaceInfo::allowTextFramePanel);
    c.method("canCreatePathText:", &WorkspaceInfo::canCreatePathText);
    c.method("canCreateTextColumns:", &WorkspaceInfo::canCreateTextColumns);
    c.method("allowTableText:", &WorkspaceInfo::allowTableText);
    c.method("allowViewRotation:", &WorkspaceInfo::allowViewRotation);
    c.method("supportsCreateArtboards:", &WorkspaceInfo::supportsCreateArtboards);
    c.method("supportGridPlanes:", &WorkspaceInfo::supportGridPlanes);
    c.method("exposeHistorySnapshots:", &WorkspaceInfo::exposeHistorySnapshots);
    c.method("shouldGenerateHistograms:", &WorkspaceInfo::shouldGenerateHistograms);
    c.method("supportLiveFilters:", &WorkspaceInfo::supportLiveFilters);
    c.method("supportLiveMasks:", &WorkspaceInfo::supportLiveMasks);
    c.method("prefersPixelSelections:", &WorkspaceInfo::prefersPixelSelections);
    c.method("allowRasterSelectionInLayersPage", &WorkspaceInfo::allowRasterSelectionInLayersPage);
    c.method("prefersLinkageEditor", &WorkspaceInfo::prefersLinkageEditor);
    c.method("allowContextChooser", &WorkspaceInfo::allowContextChooser);
    c.method("supportsTextureOnStroke", &WorkspaceInfo::supportsTextureOnStroke);
}

namespace {
int g_failNextInits = 0;
}

WorkspaceInfo* WorkspaceInfo::initWithID(uint32_t persona, const Kernel::String& name, const Kernel::String& menu,
                                         ToolID tool) {
    CallLog::Call("WorkspaceInfo::initWithID:name:menu:tool:", CallLog::Code{persona}, name, menu, tool);
    if (g_failNextInits > 0) {
        --g_failNextInits;
        return nullptr;
    }
    m_uid = persona;
    m_name = name;
    m_menu = menu;
    m_tool = tool;
    return this;
}

void WorkspaceInfo::resetMenusAndKeys() { CallLog::Call("WorkspaceInfo::resetMenusAndKeys", CallLog::Code{m_uid}); }

Ref<WorkspaceInfo> WorkspaceInfo::MakeFrameworkPersona(uint32_t persona, const char* name) {
    auto w = New<WorkspaceInfo>();
    w->m_uid = persona;
    w->m_name = name;
    return w;
}

void WorkspaceInfo::FailNextInits(int count) { g_failNextInits = count; }
