// The headless main loop: without a window server, events come from standard input, one per
// line, and what the application does is printed on standard output.
//
//   menu <action:>           choose the main-menu item with that action
//   answer <button title>    press a button of the alert or sheet that is open
//   text <typed text>        type into the open sheet's field (the rest of the line, as it stands)
//   <anything else>          handed to the application object (handleHostEvent)
//   # ...                    a comment
//
// A sheet left open when another event comes, or when the input ends, is cancelled. Work queued
// for the main thread runs after each event.
#include <cstdio>
#include <deque>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "AppKit/AppKit.h"
#include "AppKit/NSSheet.h"
#include "DocSession/CallLog.h"
#include "Kernel/Dispatch.h"

namespace {

class LineSource {
public:
    bool Next(std::string& line) {
        if (!m_pushedBack.empty()) {
            line = std::move(m_pushedBack.front());
            m_pushedBack.pop_front();
            return true;
        }
        if (!std::getline(std::cin, line)) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    void PushBack(std::string line) { m_pushedBack.push_front(std::move(line)); }

private:
    std::deque<std::string> m_pushedBack;
};

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

bool IsComment(const std::string& line) {
    auto start = line.find_first_not_of(" \t");
    return start == std::string::npos || line[start] == '#';
}

std::string Trim(const std::string& s) {
    auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

void Report(const std::string& text) { std::fprintf(stderr, "quirevale: %s\n", text.c_str()); }

// An alert or modal window takes the next event line as its answer; any other line is left for
// the main loop and the request's unanswered button is pressed (an alert's first, as Return would).
NSInteger AnswerAlert(LineSource& source, const NSAlertRequest& request) {
    const NSInteger unanswered = NSAlertFirstButtonReturn + request.unanswered;
    std::string line;
    while (source.Next(line)) {
        if (IsComment(line)) continue;
        std::string t = Trim(line);
        if (t.rfind("answer", 0) != 0 || (t.size() > 6 && t[6] != ' ' && t[6] != '\t')) {
            source.PushBack(line);
            break;
        }
        std::string button = Trim(t.substr(6));
        for (int i = 0; i < 3; ++i)
            if (!request.buttons[i].empty() && request.buttons[i] == button) return NSAlertFirstButtonReturn + i;
        Report("\"" + request.title + "\" has no button \"" + button + "\"; pressing \"" +
               request.buttons[request.unanswered] + "\"");
        return unanswered;
    }
    return unanswered;
}

// The text after the event word, as typed (one separating blank or tab taken away).
std::string RestOfLine(const std::string& line, const std::string& word) {
    std::string t = line.substr(line.find_first_not_of(" \t"));
    std::string rest = t.substr(word.size());
    if (!rest.empty() && (rest[0] == ' ' || rest[0] == '\t')) rest.erase(0, 1);
    return rest;
}

void CancelOpenSheet() {
    if (const NSSheetRequest* sheet = NSOpenSheet()) {
        Report("the sheet \"" + sheet->message + "\" was not answered; cancelling it");
        NSCancelSheet();
        Kernel::Dispatch::RunMainThreadQueue();
    }
}

}  // namespace

int NSApplicationMain(int, char const* const*) {
    std::fputs("quirevale: no graphical interface is available; reading events from standard input.\n", stderr);
    AutoreleasePool pool;
    LineSource source;
    CallLog::Sink previousSink = CallLog::SetSink([](const std::string& entry) {
        std::fputs(entry.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    NSAlertResponder previousResponder =
        NSSetAlertResponder([&source](const NSAlertRequest& request) { return AnswerAlert(source, request); });
    struct Restore {
        CallLog::Sink& sink;
        NSAlertResponder& responder;
        ~Restore() {
            CallLog::SetSink(std::move(sink));
            NSSetAlertResponder(std::move(responder));
        }
    } restore{previousSink, previousResponder};

    Ref<NSString> principal = NSBundle::mainBundle()->objectForInfoDictionaryKey("NSPrincipalClass");
    ClassInfo* cls = principal ? NSClassFromString(principal->utf8()) : nullptr;
    if (!cls || !cls->isSubclassOf(&NSApplication::Class_())) {
        Report("the bundle names no application class (NSPrincipalClass in " +
               NSBundle::mainBundle()->resourcePath() + "/Info.strings)");
        return 1;
    }
    NSObject* raw = cls->alloc();
    NSObject* inited = raw ? raw->init() : nullptr;
    if (!inited) {
        if (raw) raw->release();
        Report("the application object could not be created");
        return 1;
    }
    Ref<NSApplication> app = Ref<NSApplication>::adopt(static_cast<NSApplication*>(inited));
    NSApp = app.get();
    app->finishLaunching();

    std::string line;
    while (source.Next(line)) {
        if (IsComment(line)) continue;
        AutoreleasePool eventPool;
        std::vector<std::string> words = Words(line);
        if (words[0] == "text") {
            if (!NSSetSheetText(RestOfLine(line, "text"))) Report("no sheet is open to type into");
            continue;
        }
        if (words[0] == "answer") {
            if (!NSOpenSheet()) {
                Report("no alert or sheet is open");
                continue;
            }
            std::string problem = NSPressSheetButton(Trim(RestOfLine(line, "answer")));
            if (!problem.empty()) Report(problem);
            Kernel::Dispatch::RunMainThreadQueue();
            continue;
        }
        CancelOpenSheet();
        if (words[0] == "menu") {
            if (words.size() != 2) {
                Report("menu takes one action selector, as in: menu layoutPersona:");
                continue;
            }
            std::string problem = app->chooseMenuItemWithAction(sel_registerName(words[1]));
            if (!problem.empty()) Report(problem);
        } else if (!app->handleHostEvent(words)) {
            Report("unknown event: " + Trim(line));
        }
        Kernel::Dispatch::RunMainThreadQueue();
    }
    CancelOpenSheet();
    app->terminate();
    NSApp = nullptr;
    return 0;
}
