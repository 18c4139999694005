#include "UIFramework/Panels.h"

#include <string>

#include "AppKit/NSApplication.h"
#include "DocSession/CallLog.h"

QV_IMPLEMENT(AppPanelManager, NSObject) {
    c.method("showFieldEditor", &AppPanelManager::showFieldEditor);
    c.method("showConvertTextToField", &AppPanelManager::showConvertTextToField);
    c.method("showLiveMaskPanel", &AppPanelManager::showLiveMaskPanel);
    c.method("showAdjustmentsPanel", &AppPanelManager::showAdjustmentsPanel);
    c.method("showExportCubePanel", &AppPanelManager::showExportCubePanel);
    c.method("showDevelopAssistantOptionsPanel", &AppPanelManager::showDevelopAssistantOptionsPanel);
    c.method("showTabstopEditor", &AppPanelManager::showTabstopEditor);
    c.method("showEffectsSettingsPanel", &AppPanelManager::showEffectsSettingsPanel);
    c.method("showTransparencyEditorPanel", &AppPanelManager::showTransparencyEditorPanel);
    c.method("showTableExtender:", &AppPanelManager::showTableExtender);
}

// Each action of a command object records itself with the tag of the item that sent it.
#define QV_COMMAND_ACTION(Class, name)                                                               \
    c.info.add(sel_registerName(name), [label = std::string(#Class "::") + name](NSObject* self, NSObject* sender) { \
        static_cast<Class*>(self)->Perform(label.c_str(), sender);                                   \
        return id();                                                                                 \
    })

QV_IMPLEMENT(MenuCommandObject, NSObject) { c.method("validateMenuItem:", &MenuCommandObject::validateMenuItem); }
QV_IMPLEMENT(TableCommands, MenuCommandObject) {
    for (const char* action :
         {"insertRow:", "deleteRow:", "mergeRowCells:", "separateRowCells:", "autoFitRow:", "sortByRowAscending:",
          "sortByRowDescending:", "insertColumn:", "deleteColumn:", "mergeColumnCells:", "separateColumnCells:",
          "autoFitColumn:", "sortByColumnAscending:", "sortByColumnDescending:", "insertRows:", "deleteRows:",
          "mergeTableCells:", "separateTableCells:", "evenlyDistributeTableRows:", "autoFitCurrentRows:",
          "insertColumns:", "deleteColumns:", "evenlyDistributeTableColumns:", "autoFitCurrentColumns:"})
        QV_COMMAND_ACTION(TableCommands, action);
}
QV_IMPLEMENT(VectorCommands, MenuCommandObject) {
    for (const char* action : {"curveNodeConvertToCusp:", "curveNodeConvertToSmooth:", "curveNodeConvertToSmart:",
                               "curveNodeSplitCurve:", "curveNodeBreakCurve:", "curveNodeCloseCurve:",
                               "curveNodeReverseCurve:"})
        QV_COMMAND_ACTION(VectorCommands, action);
}
QV_IMPLEMENT(SpellingCommands, NSObject) {
    c.method("changeWord:findNext:", &SpellingCommands::changeWord);
    c.method("unignoreWord:", &SpellingCommands::unignoreWord);
    c.method("unlearnWord:", &SpellingCommands::unlearnWord);
    c.method("ignoreSpelling:", &SpellingCommands::ignoreSpelling);
    c.method("learnSpelling:", &SpellingCommands::learnSpelling);
}
QV_IMPLEMENT(CommandControllerManager, NSObject) {}
QV_IMPLEMENT(NSOpenPanelHelper, NSObject) {}

namespace {
const char* const kViewActions[] = {
    "toggleFillContext", "swapLineAndFill", "setFillNone", "toggleSnapping", "cycleSnappingPlanes",
    "zoomInDefault:", "zoomOutDefault:", "setFillContextToBlackAndWhite", "SetFillTo50Grey",
    "switchToNextView", "switchToPreviousView", "doFindInLayerPage:", "insertHyperlink:",
    "setToNextBlendMode:", "setToPreviousBlendMode:", "setToNormalBlendMode:", "setToDarkenBlendMode:",
    "setToMultiplyBlendMode:", "setToColourBurnBlendMode:", "setToLinearBurnBlendMode:",
    "setToDarkerColorBlendMode:", "setToLightenBlendMode:", "setToScreenBlendMode:", "setToColourDodgeBlendMode:",
    "setToAddBlendMode:", "setToLighterColorBlendMode:", "setToOverlayBlendMode:", "setToSoftLightBlendMode:",
    "setToHardLightBlendMode:", "setToVividLightBlendMode:", "setToLinearLightBlendMode:",
    "setToPinLightBlendMode:", "setToHardMixBlendMode:", "setToDifferenceBlendMode:", "setToExclusionBlendMode:",
    "setToSubtractBlendMode:", "setToDivideBlendMode:", "setToHueBlendMode:", "setToSaturationBlendMode:",
    "setToColourBlendMode:", "setToLuminosityBlendMode:", "setToAverageBlendMode:", "setToNegationBlendMode:",
    "setToReflectBlendMode:", "setToGlowBlendMode:", "setToContrastInvertBlendMode:", "setToEraseBlendMode:",
    "contentAwareDelete:"};

const char* const kStudioToggles[] = {
    "toggleAssetPage", "toggleCharacterPage", "toggleTypographyPage", "toggleColourPage", "toggleConstraintPage",
    "toggleEffectsPage", "toggleFieldsPage", "toggleFindAndReplacePage", "toggleGlyphBrowserPage",
    "toggleHistoryPage", "toggleHyperlinkPage", "toggleAnchorsPage", "toggleReadingOrderPage", "toggleIndexPage",
    "toggleLayerPage", "toggleNavigatorPage", "togglePagesPage", "toggleParagraphPage", "togglePreflightPage",
    "toggleNotesPage", "toggleLinePage", "toggleStylesPage", "toggleStockPage", "toggleSwatchesPage",
    "toggleTextFramePage", "toggleTablePage", "toggleTableFormatPage", "toggleTextStylesPage", "toggleTocPage",
    "toggleTransformPage", "toggleBooksPage", "toggleTagsPage", "toggleLayerStatePage", "toggleLinksPage",
    "toggleAppearancePage", "toggle32BitPreviewPage", "toggleAdjustmentPage", "toggleBatchPage", "toggleBrushPage",
    "toggleChannelsPage", "toggleXMPPage", "toggleHistogramPage", "toggleInformationPage", "toggleGPUPage",
    "toggleDebugPage", "toggleMacrosPage", "toggleMacroPage", "toggleWaveformPage", "toggleSnapshotsPage",
    "toggleCloneBrushSourcesPage", "togglePlanesPage", "toggleSymbolPage", "toggleDevelopBasicPage",
    "toggleDevelopDetailsPage", "toggleDevelopFocusPage", "toggleDevelopLensPage", "toggleDevelopMapPage",
    "toggleDevelopOverlaysPage", "toggleDevelopSnapshotsPage", "toggleDevelopTonesPage"};

// Records the action with its sender.
template <class C>
void AddRecordedActions(SelectorTable<C>& c, const char* owner, const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        std::string entry = std::string(owner) + "::" + names[i];
        c.info.add(sel_registerName(names[i]), [entry](NSObject*, NSObject* sender) -> id {
            CallLog::Call(entry, static_cast<const NSObject*>(sender));
            return nullptr;
        });
    }
}
}  // namespace

QV_IMPLEMENT(ViewCommands, NSObject) { AddRecordedActions(c, "ViewCommands", kViewActions, std::size(kViewActions)); }
QV_IMPLEMENT(StudioCommands, NSObject) {
    AddRecordedActions(c, "StudioCommands", kStudioToggles, std::size(kStudioToggles));
}

BOOL StudioCommands::validateSelector(SEL action) const {
    for (SEL r : m_rejected)
        if (r == action) return NO;
    return respondsToSelector(action);
}

SEL StudioCommands::toggleSelectorViaPageID(uint32_t page) const {
    // The pages whose toggles the tables ask for by page id.
    switch (page) {
    case 10: return sel_registerName("toggleEffectsPage");
    case 33: return sel_registerName("toggleStockPage");
    case 64: return sel_registerName("toggleAppearancePage");
    case 73: return sel_registerName("toggleLinksPage");
    case 75: return sel_registerName("toggleLayerStatePage");
    default: return nullptr;
    }
}

ViewCommands* CommandControllerManager::viewCommands() const {
    ++m_viewCalls;
    if (!m_newOnEveryCall) return m_view.get();
    Ref<ViewCommands> fresh = New<ViewCommands>();
    m_handedOut.push_back(fresh);
    return fresh.get();
}

StudioCommands* CommandControllerManager::studioCommands() const {
    ++m_studioCalls;
    if (!m_newOnEveryCall) return m_studio.get();
    Ref<StudioCommands> fresh = New<StudioCommands>();
    m_handedOut.push_back(fresh);
    return fresh.get();
}

void CommandControllerManager::ResetCommandObjects() {
    m_newOnEveryCall = false;
    m_viewCalls = m_studioCalls = 0;
    m_handedOut.clear();
    m_view = New<ViewCommands>();
    m_studio = New<StudioCommands>();
    m_table = New<TableCommands>();
    m_vector = New<VectorCommands>();
}

void NSOpenPanelHelper::setPersonaAllowedFileTypes(NSOpenPanel*, BOOL withPlugins) {
    CallLog::Call("NSOpenPanelHelper::setPersonaAllowedFileTypes:withPlugins:", withPlugins);
}
QV_IMPLEMENT(MenuBarController, NSObject) { c.method("validateMenuItem:", &MenuBarController::validateMenuItem); }

AppPanelManager* AppPanelManager::standardPanelManager() {
    static AppPanelManager* manager = new AppPanelManager;  // lives for the process
    return manager;
}

void AppPanelManager::showTableExtender(BOOL rows) {
    CallLog::Call("AppPanelManager::showTableExtender:", CallLog::Raw{rows ? "YES" : "NO"});
}

BOOL MenuCommandObject::validateMenuItem(NSMenuItem*) { return m_answer; }

void MenuCommandObject::Perform(const char* name, NSObject* sender) {
    auto* item = ObjectCast<NSMenuItem>(sender);
    CallLog::Call(name, CallLog::Raw{item ? "tag=" + std::to_string(item->tag()) : "nil"});
}

void AppPanelManager::show(std::string_view message) { CallLog::Record("AppPanelManager::" + std::string(message)); }

namespace {
std::string WordOf(NSObject* sender) {
    auto* item = ObjectCast<NSMenuItem>(sender);
    auto* word = item ? ObjectCast<NSString>(item->representedObject()) : nullptr;
    return CallLog::Arg(static_cast<const NSString*>(word));
}
}  // namespace

void SpellingCommands::changeWord(NSString* word, BOOL findNext) {
    CallLog::Call("SpellingCommands::changeWord:findNext:", static_cast<const NSString*>(word),
                  CallLog::Raw{findNext ? "YES" : "NO"});
}
void SpellingCommands::unignoreWord(NSObject* sender) { CallLog::Call("SpellingCommands::unignoreWord:", CallLog::Raw{WordOf(sender)}); }
void SpellingCommands::unlearnWord(NSObject* sender) { CallLog::Call("SpellingCommands::unlearnWord:", CallLog::Raw{WordOf(sender)}); }
void SpellingCommands::ignoreSpelling(NSObject* sender) { CallLog::Call("SpellingCommands::ignoreSpelling:", CallLog::Raw{WordOf(sender)}); }
void SpellingCommands::learnSpelling(NSObject* sender) { CallLog::Call("SpellingCommands::learnSpelling:", CallLog::Raw{WordOf(sender)}); }

CommandControllerManager* CommandControllerManager::GetInstance() {
    static CommandControllerManager* manager = new CommandControllerManager;  // lives for the process
    return manager;
}

BOOL MenuBarController::validateMenuItem(NSMenuItem*) { return StandInValidateAnswer(); }

BOOL& MenuBarController::StandInValidateAnswer() {
    static BOOL answer = YES;
    return answer;
}
