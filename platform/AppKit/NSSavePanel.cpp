#include "AppKit/NSSavePanel.h"

#include <sys/stat.h>

#include "DocSession/CallLog.h"
#include "Kernel/Format.h"

QV_IMPLEMENT(NSSavePanel, NSObject) {
    c.method("setAllowedFileTypes:", &NSSavePanel::setAllowedFileTypes);
    c.method("setShowsTagField:", &NSSavePanel::setShowsTagField);
}
QV_IMPLEMENT(NSOpenPanel, NSSavePanel) {
    c.method("setCanChooseFiles:", &NSOpenPanel::setCanChooseFiles);
    c.method("setCanChooseDirectories:", &NSOpenPanel::setCanChooseDirectories);
    c.method("setAllowsMultipleSelection:", &NSOpenPanel::setAllowsMultipleSelection);
}

namespace {
std::string Extension(const std::string& path) {
    auto slash = path.find_last_of('/');
    auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return path.substr(dot + 1);
}
bool Allowed(const std::vector<std::string>& types, const std::string& path) {
    if (types.empty()) return true;
    std::string ext = Extension(path);
    for (const auto& t : types)
        if (t == ext) return true;
    return false;
}
std::string Quoted(const std::vector<std::string>& types) {
    std::string s;
    for (const auto& t : types) s += (s.empty() ? "\"" : ", \"") + t + "\"";
    return s;
}
NSSheetRequest PanelRequest(const char* kind, const char* message, const char* confirm) {
    NSSheetRequest r;
    r.kind = kind;
    r.message = message;
    r.buttons = {{confirm, NSModalResponseOK}, {"Cancel", NSModalResponseCancel}};
    return r;
}
CallLog::Raw YesNo(BOOL b) { return CallLog::Raw{b ? "YES" : "NO"}; }
}  // namespace

Ref<NSSavePanel> NSSavePanel::savePanel() {
    CallLog::Call("NSSavePanel::savePanel");
    return New<NSSavePanel>();
}

void NSSavePanel::setAllowedFileTypes(NSArray* types) {
    m_allowedTypes.clear();
    if (types)
        for (const auto& t : types->items())
            if (auto* s = ObjectCast<NSString>(t.get())) m_allowedTypes.push_back(s->utf8());
    CallLog::Call(std::string(PanelName()) + "::setAllowedFileTypes:", CallLog::Raw{"[" + Quoted(m_allowedTypes) + "]"});
}

void NSSavePanel::setShowsTagField(BOOL shows) {
    CallLog::Call(std::string(PanelName()) + "::setShowsTagField:", YesNo(shows));
}

NSSheetRequest NSSavePanel::MakeRequest() const { return PanelRequest("save", "Save As:", "Save"); }

void NSSavePanel::beginSheetModalForWindow(NSWindow* window, std::function<void(NSInteger)> handler) {
    CallLog::Call(std::string(PanelName()) + "::beginSheetModalForWindow:completionHandler:",
                  static_cast<const NSObject*>(window));
    NSSheetRequest request = MakeRequest();
    std::vector<std::string> types = m_allowedTypes;
    bool saving = request.kind == "save";
    request.check = [types, saving](const std::string& text) -> std::string {
        if (text.empty()) return "no file is named";
        // A save panel completes the name with the first allowed type; an open panel only shows
        // files of the allowed types, and only files that are there.
        if (saving) return {};
        // The typed name is quoted as every path is, cut when it is longer than a path can be.
        const std::string name = Kernel::Excerpt(text, Kernel::kPathExcerptBytes);
        if (!Allowed(types, text)) return "\"" + name + "\" is not a file of type " + Quoted(types);
        struct stat st;
        if (stat(text.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "there is no file \"" + name + "\"";
        return {};
    };
    Ref<NSSavePanel> self(this);
    NSBeginSheet(window, std::move(request), [self, handler, saving, types](NSInteger response, const std::string& text) {
        self->m_chosenPath.clear();
        if (response == NSModalResponseOK) {
            self->m_chosenPath = text;
            if (saving && !types.empty() && !Allowed(types, text)) self->m_chosenPath += "." + types.front();
        }
        if (handler) handler(response);
    });
}

Ref<NSURL> NSSavePanel::URL() const {
    return NSURL::fileURLWithPath(m_chosenPath.empty() ? nullptr : NSString::from(m_chosenPath).get());
}

Ref<NSOpenPanel> NSOpenPanel::openPanel() {
    CallLog::Call("NSOpenPanel::openPanel");
    return New<NSOpenPanel>();
}
void NSOpenPanel::setCanChooseFiles(BOOL can) {
    CallLog::Call("NSOpenPanel::setCanChooseFiles:", YesNo(can));
    m_canChooseFiles = can;
}
void NSOpenPanel::setCanChooseDirectories(BOOL can) {
    CallLog::Call("NSOpenPanel::setCanChooseDirectories:", YesNo(can));
    m_canChooseDirectories = can;
}
void NSOpenPanel::setAllowsMultipleSelection(BOOL allows) {
    CallLog::Call("NSOpenPanel::setAllowsMultipleSelection:", YesNo(allows));
    m_allowsMultipleSelection = allows;
}

NSSheetRequest NSOpenPanel::MakeRequest() const { return PanelRequest("open", "Open", "Open"); }
