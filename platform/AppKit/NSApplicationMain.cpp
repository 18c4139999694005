// The headless main loop: without a window server, events come from standard input, one per
// line, and what the application does is printed on standard output.
//
//   menu <action:>           choose the main-menu item with that action
//   answer <button title>    press a button of the alert or sheet that is open
//   text <typed text>        type into the open sheet's field (the rest of the line, as it stands)
//   pick <item title>        choose an item of the context menu that is open (printed when it opens)
//   key <character> [shift] [command] [option] [control]
//                            press a key; the character may be written U+XXXX
//   <anything else>          handed to the application object (handleHostEvent)
//   # ...                    a comment
//
// A sheet left open when another event comes, or when the input ends, is cancelled. Work queued
// for the main thread runs after each event.
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "AppKit/AppKit.h"
#include "AppKit/NSSheet.h"
#include "DocSession/CallLog.h"
#include "Kernel/Format.h"
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

// Every character that separates words, so a line of only form feeds or carriage returns is
// blank. Every part of the reader (words, trimming, the text after an event word) goes by it.
constexpr std::string_view kBlanks = " \t\r\f\v";

bool IsBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// Whether the line's first word is word; rest is then what follows it, one blank taken away.
bool StartsWithWord(const std::string& line, std::string_view word, std::string& rest) {
    const size_t start = line.find_first_not_of(kBlanks);
    if (start == std::string::npos || line.compare(start, word.size(), word) != 0) return false;
    const size_t end = start + word.size();
    if (end < line.size() && !IsBlank(line[end])) return false;
    rest = end < line.size() ? line.substr(end + 1) : std::string();
    return true;
}

bool IsComment(const std::string& line) {
    auto start = line.find_first_not_of(kBlanks);
    return start == std::string::npos || line[start] == '#';
}

std::string Trim(const std::string& s) {
    auto b = s.find_first_not_of(kBlanks);
    if (b == std::string::npos) return {};
    auto e = s.find_last_not_of(kBlanks);
    return s.substr(b, e - b + 1);
}

// A report may name the bundle's folder and what menus and alerts hold; excerpts in it show unchanged.
void Report(const std::string& text) { std::fprintf(stderr, "quirevale: %s\n", Kernel::EscapeForMessage(text).c_str()); }

// The characters of one code point.
std::string CharactersOf(unsigned long code) {
    char16_t units[2];
    NSUInteger n = 1;
    if (code >= 0x10000) {
        units[0] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
        units[1] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<char16_t>(code);
    }
    return NSString::stringWithCharacters(units, n)->utf8();
}

// "key <character> [shift] [command] [option] [control]": the characters and the modifier flags,
// or a message saying what is wrong.
std::string ParseKey(const std::vector<std::string>& words, std::string& characters, NSUInteger& flags) {
    if (words.size() < 2) return "key takes a character and modifier words, as in: key m shift";
    characters = words[1];
    if (characters.size() > 2 && (characters[0] == 'U' || characters[0] == 'u') && characters[1] == '+') {
        char* end = nullptr;
        unsigned long code = std::strtoul(characters.c_str() + 2, &end, 16);
        if (*end || characters.size() > 8 || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return "not a character code: " + Kernel::Excerpt(characters);
        characters = CharactersOf(code);
    }
    flags = 0;
    for (size_t i = 2; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "shift") flags |= 0x20000;
        else if (w == "control") flags |= 0x40000;
        else if (w == "option") flags |= 0x80000;
        else if (w == "command") flags |= 0x100000;
        else return "unknown modifier \"" + Kernel::Excerpt(w) + "\" (shift, command, option or control)";
    }
    return {};
}

// An alert or modal window takes the next event line as its answer; any other line is left for
// the main loop and the request's unanswered button is pressed (an alert's first, as Return would).
NSInteger AnswerAlert(LineSource& source, const NSAlertRequest& request) {
    const NSInteger unanswered = NSAlertFirstButtonReturn + request.unanswered;
    std::string line;
    while (source.Next(line)) {
        if (IsComment(line)) continue;
        std::string rest;
        if (!StartsWithWord(line, "answer", rest)) {
            source.PushBack(line);
            break;
        }
        std::string button = Trim(rest);
        for (int i = 0; i < 3; ++i)
            if (!request.buttons[i].empty() && request.buttons[i] == button) return NSAlertFirstButtonReturn + i;
        Report("\"" + Kernel::Excerpt(request.title) + "\" has no button \"" + Kernel::Excerpt(button) + "\"; pressing \"" +
               request.buttons[request.unanswered] + "\"");
        return unanswered;
    }
    return unanswered;
}

std::string Quoted(const NSString* s) { return "\"" + (s ? s->utf8() : std::string()) + "\""; }

// A menu as the interface files write it: one line per item, submenus indented and closed by "end";
// hidden and disabled items say so at the end of their line.
void PrintMenu(const NSMenu& menu, int depth) {
    const std::string indent(static_cast<size_t>(depth) * 2, ' ');
    for (const auto& item : menu.itemArray()) {
        if (item->isSeparatorItem()) {
            std::printf("%sseparator\n", indent.c_str());
            continue;
        }
        std::string line = indent + (item->submenu() ? "submenu " : "item ") + Quoted(item->title());
        if (item->action()) line += std::string(" action=") + sel_getName(item->action());
        if (item->tag() != 0) line += " tag=" + std::to_string(item->tag());
        if (item->target()) line += " target=<" + item->target()->classInfo().name() + ">";
        if (auto* represented = ObjectCast<NSString>(item->representedObject())) line += " represented=" + Quoted(represented);
        if (item->isHidden()) line += " hidden";
        if (!item->isEnabled()) line += " disabled";
        std::printf("%s\n", Kernel::EscapeForMessage(line).c_str());
        if (item->submenu()) {
            PrintMenu(*item->submenu(), depth + 1);
            std::printf("%send\n", indent.c_str());
        }
    }
}

NSMenuItem* FindByTitle(const NSMenu& menu, const std::string& title) {
    for (const auto& item : menu.itemArray()) {
        if (!item->isSeparatorItem() && item->title()->utf8() == title) return item.get();
        if (item->submenu())
            if (NSMenuItem* found = FindByTitle(*item->submenu(), title)) return found;
    }
    return nullptr;
}

// A pop-up menu is printed; a "pick <title>" line that follows picks its first item (depth
// first) with that title. Any other line is left for the main loop and the menu is dismissed.
BOOL TrackMenu(LineSource& source, NSMenu* menu) {
    PrintMenu(*menu, 1);
    std::fflush(stdout);
    std::string line;
    while (source.Next(line)) {
        if (IsComment(line)) continue;
        std::string rest;
        if (!StartsWithWord(line, "pick", rest)) {
            source.PushBack(line);
            return NO;
        }
        std::string title = Trim(rest);
        NSMenuItem* item = FindByTitle(*menu, title);
        if (!item) {
            Report("the menu has no item \"" + Kernel::Excerpt(title) + "\"");
            return NO;
        }
        std::string problem = NSApp ? NSApp->chooseMenuItem(item) : "no application";
        if (!problem.empty()) Report(problem);
        return problem.empty();
    }
    return NO;
}

// The text after the event word, as typed (one separating blank taken away).
std::string RestOfLine(const std::string& line, std::string_view word) {
    std::string rest;
    StartsWithWord(line, word, rest);
    return rest;
}

void CancelOpenSheet() {
    if (const NSSheetRequest* sheet = NSOpenSheet()) {
        Report("the sheet \"" + Kernel::Excerpt(sheet->message) + "\" was not answered; cancelling it");
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
        // An entry quotes what the user typed and what documents hold.
        std::fputs(Kernel::EscapeForMessage(entry).c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    });
    NSAlertResponder previousResponder =
        NSSetAlertResponder([&source](const NSAlertRequest& request) { return AnswerAlert(source, request); });
    NSMenuTracker previousTracker = NSSetMenuTracker([&source](NSMenu* menu) { return TrackMenu(source, menu); });
    struct Restore {
        CallLog::Sink& sink;
        NSAlertResponder& responder;
        NSMenuTracker& tracker;
        ~Restore() {
            CallLog::SetSink(std::move(sink));
            NSSetAlertResponder(std::move(responder));
            NSSetMenuTracker(std::move(tracker));
        }
    } restore{previousSink, previousResponder, previousTracker};

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
        if (words.empty()) continue;
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
        } else if (words[0] == "key") {
            std::string characters;
            NSUInteger flags = 0;
            std::string problem = ParseKey(words, characters, flags);
            if (!problem.empty()) Report(problem);
            else app->sendKeyEvent(NSString::from(characters).get(), flags);
        } else if (words[0] == "pick") {
            Report("no menu is open");
        } else if (!app->handleHostEvent(words)) {
            const std::string why = app->whyHostEventRefused(words);
            Report(why.empty() ? "unknown event: " + Kernel::Excerpt(Trim(line)) : why);
        }
        Kernel::Dispatch::RunMainThreadQueue();
    }
    CancelOpenSheet();
    app->terminate();
    NSApp = nullptr;
    return 0;
}
