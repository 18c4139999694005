#include "UIFramework/StudioManager.h"

#include "DocSession/CallLog.h"
#include "DocSession/ObjectCommands.h"

QV_IMPLEMENT(StudioManager, NSObject) {}
QV_IMPLEMENT(SwatchesPage, NSObject) {}
QV_IMPLEMENT(StylesManager, NSObject) {
    c.method("addStylesFromSelectionToCurrentCategory", &StylesManager::addStylesFromSelectionToCurrentCategory);
}

StudioManager* StudioManager::GetInstance() {
    static StudioManager* manager = [] {
        auto* m = new StudioManager;  // lives for the process
        m->ResetForTesting();
        return m;
    }();
    return manager;
}

NSObject* StudioManager::pageWithID(NSInteger pageID) {
    CallLog::Call("StudioManager::pageWithID:", static_cast<long>(pageID));
    auto found = m_pages.find(pageID);
    return found == m_pages.end() ? nullptr : found->second.get();
}

void StudioManager::setPage(NSInteger pageID, NSObject* page) {
    if (page) m_pages[pageID] = page;
    else m_pages.erase(pageID);
}

void StudioManager::ResetForTesting() {
    m_pages.clear();
    m_pages[12] = New<SwatchesPage>();
}

BOOL SwatchesPage::canAddFromSelection(const Kernel::Counted<Selection const>* selection, BOOL fromFill, BOOL fromLine) {
    const Kernel::Counted<Selection const> none;
    const auto& given = selection ? *selection : none;
    CallLog::Call("SwatchesPage::canAddFromSelection:fromFill:fromLine:", CallLog::Raw{CommandQueries::Describe(given)},
                  CallLog::Raw{fromFill ? "YES" : "NO"}, CallLog::Raw{fromLine ? "YES" : "NO"});
    if (m_answer) return *m_answer;
    return given && given->GetCount() > 0;
}

void SwatchesPage::addFromSelection(const Kernel::Counted<Selection const>* selection, BOOL fromFill, BOOL fromLine) {
    CallLog::Call("SwatchesPage::addFromSelection:fromFill:fromLine:",
                  CallLog::Raw{selection ? CommandQueries::Describe(*selection) : "NULL"},
                  CallLog::Raw{fromFill ? "YES" : "NO"}, CallLog::Raw{fromLine ? "YES" : "NO"});
}

void SwatchesPage::addSelectionToGlobalWithFill(BOOL fromFill, BOOL fromLine) {
    CallLog::Call("SwatchesPage::addSelectionToGlobalWithFill:andLine:", CallLog::Raw{fromFill ? "YES" : "NO"},
                  CallLog::Raw{fromLine ? "YES" : "NO"});
}

StylesManager* StylesManager::defaultManager() {
    static StylesManager* manager = new StylesManager;  // lives for the process
    return manager;
}

void StylesManager::addStylesFromSelectionToCurrentCategory() {
    CallLog::Call("StylesManager::addStylesFromSelectionToCurrentCategory");
}
