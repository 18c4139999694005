// The framework's description of one persona (workspace): identity, main-menu resource, start
// tool, per-persona switches, the three controller objects and the feature questions.
#pragma once
#include <cstdint>

#include "DocSession/Tools.h"
#include "Foundation/Foundation.h"
#include "Kernel/String.h"

class WorkspaceInfo : public NSObject {
    QV_OBJECT(WorkspaceInfo)
public:
    // The designated initialiser; answers nil when the framework cannot set the persona up.
    WorkspaceInfo* initWithID(uint32_t persona, const Kernel::String& name, const Kernel::String& menu, ToolID tool);

    uint32_t kestraneUID() const { return m_uid; }
    const Kernel::String& name() const { return m_name; }
    const Kernel::String& menuName() const { return m_menu; }
    ToolID startToolID() const { return m_tool; }

    virtual void startup() {}
    virtual void shutdown() {}
    virtual void resetMenusAndKeys();
    // May the persona be left now? A workspace may ask the user before it answers.
    virtual BOOL canShutdown() { return YES; }
    virtual NSObject* studioController() const { return nullptr; }
    virtual NSObject* keyboardAcceleratorController() const { return nullptr; }
    virtual NSObject* contextMenuController() const { return nullptr; }
    virtual Ref<NSString> localisedName() { return NSString::from(m_name.View()); }

    // Feature questions: with an argument, the base answers the caller's default.
    bool allowTextRuler(bool d) { return d; }
    bool allowTextFramePanel(bool d) { return d; }
    bool canCreatePathText(bool d) { return d; }
    bool canCreateTextColumns(bool d) { return d; }
    bool allowTableText(bool d) { return d; }
    bool allowViewRotation(bool d) { return d; }
    bool supportsCreateArtboards(bool d) { return d; }
    bool supportGridPlanes(bool d) { return d; }
    bool exposeHistorySnapshots(bool d) { return d; }
    bool shouldGenerateHistograms(bool d) { return d; }
    bool supportLiveFilters(bool d) { return d; }
    bool supportLiveMasks(bool d) { return d; }
    bool prefersPixelSelections(bool d) { return d; }
    bool allowRasterSelectionInLayersPage() { return false; }
    bool prefersLinkageEditor() { return false; }
    BOOL allowContextChooser() { return NO; }
    BOOL supportsTextureOnStroke() { return NO; }

    // Per-persona switches of the framework, with its defaults.
    int64_t _preferredBrushType = 0;
    BOOL _drawColourContextAsLine = NO;
    BOOL _supportsPixelLayer = YES;
    BOOL _isPersistant = NO;
    BOOL _supportsDeformGroupLayer = NO;
    BOOL _viewIsRaster = NO;
    BOOL _requiresSecondaryCache = NO;
    BOOL _supportsLayersAndMarquees = YES;

    // Framework-owned personas (those the engine provides without a product workspace).
    static Ref<WorkspaceInfo> MakeFrameworkPersona(uint32_t persona, const char* name);
    // Stand-in control: the next so many initWithID:... calls answer nil.
    static void FailNextInits(int count);

private:
    uint32_t m_uid = 0;
    Kernel::String m_name;
    Kernel::String m_menu;
    ToolID m_tool = 0;
};
