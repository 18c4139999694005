#include "AppKit/NSOpenPanel.h"

#include "DocSession/CallLog.h"

QV_IMPLEMENT(NSOpenPanel, NSObject) {}

namespace {
Ref<NSOpenPanel>& OpenSheet() {
    static Ref<NSOpenPanel>* sheet = new Ref<NSOpenPanel>;
    return *sheet;
}
}  // namespace

Ref<NSOpenPanel> NSOpenPanel::openPanel() { return New<NSOpenPanel>(); }

void NSOpenPanel::beginSheetModalForWindow(NSObject* window, std::function<void(NSInteger)> completionHandler) {
    CallLog::Call("NSOpenPanel::beginSheetModalForWindow:completionHandler:", window,
                  CallLog::Raw{std::string("files ") + (m_canChooseFiles ? "YES" : "NO") + ", directories " +
                               (m_canChooseDirectories ? "YES" : "NO") + ", multiple " +
                               (m_allowsMultipleSelection ? "YES" : "NO")});
    m_handler = std::move(completionHandler);
    // One sheet at a time: a new one replaces one left open, which ends cancelled.
    if (OpenSheet() && OpenSheet().get() != this) endOpenSheet(NSModalResponseCancel);
    OpenSheet() = this;
}

NSOpenPanel* NSOpenPanel::openSheet() { return OpenSheet().get(); }

void NSOpenPanel::endOpenSheet(NSInteger response, const std::string& path) {
    Ref<NSOpenPanel> panel = std::move(OpenSheet());
    OpenSheet() = nullptr;
    if (!panel) return;
    CallLog::Call("NSOpenPanel::endSheet", response, std::string_view(path));
    if (response == NSModalResponseOK) panel->m_url = NSURL::fileURLWithPath(path);
    auto handler = std::move(panel->m_handler);
    panel->m_handler = nullptr;
    if (handler) handler(response);
}

void NSOpenPanel::closeOpenSheetForTesting() {
    if (OpenSheet()) OpenSheet()->m_handler = nullptr;
    OpenSheet() = nullptr;
}
