#include "CallLog.h"

#include <mutex>

#include "DocumentCommand.h"
#include "DocumentController.h"
#include "Foundation/Foundation.h"
#include "KestraneApplication.h"

namespace CallLog {
namespace {
std::mutex& LogMutex() {
    static std::mutex m;
    return m;
}
std::vector<std::string>& Log() {
    static auto* log = new std::vector<std::string>;
    return *log;
}
Sink& CurrentSink() {
    static auto* sink = new Sink;
    return *sink;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        if (c == '\r') {
            out += "\\r";
            continue;
        }
        out += c;
    }
    out += '"';
    return out;
}

// Preference writes reach the log too: the start-up chain includes them.
const bool g_observingDefaults = [] {
    NSUserDefaults::setWriteObserver([](const std::string& key, char type, const std::string& text) {
        switch (type) {
        case 'i': Call("NSUserDefaults::setInteger:forKey:", Raw{text}, key); break;
        case 'b': Call("NSUserDefaults::setBool:forKey:", Raw{text == "1" ? "YES" : "NO"}, key); break;
        case 'd': Call("NSUserDefaults::setDouble:forKey:", Raw{text}, key); break;
        default: Call("NSUserDefaults::setObject:forKey:", text, key); break;
        }
    });
    return true;
}();
}  // namespace

std::string Arg(bool v) { return v ? "true" : "false"; }
std::string Arg(const char* v) { return v ? Quote(v) : "nil"; }
std::string Arg(std::string_view v) { return Quote(v); }
std::string Arg(const NSString* v) { return v ? Quote(v->utf8()) : "nil"; }
std::string Arg(const NSObject* v) { return v ? "<" + v->classInfo().name() + ">" : "nil"; }
std::string Arg(std::nullptr_t) { return "nil"; }

std::string Arg(Code c) {
    std::string s = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        char ch = static_cast<char>((c.value >> shift) & 0xff);
        s += (ch >= 0x20 && ch < 0x7f) ? ch : '?';
    }
    return s + "'";
}

std::string Arg(const Tool* t) {
    if (!t) return "null";
    return "<" + std::string(t->GetClassName()) + " " + std::to_string(t->GetToolID()) + ">";
}
std::string Arg(const DocumentController* d) {
    if (!d) return "null";
    return "<document " + Quote(d->GetName()) + ">";
}
std::string Arg(const DocumentCommand* c) {
    if (!c) return "null";
    return "<" + c->Describe() + ">";
}
std::string Arg(const Kestrane::Persona* p) {
    if (!p) return "null";
    return "<persona " + Arg(Code{p->GetId()}) + ">";
}

void Record(std::string entry) {
    Sink sink;
    {
        std::lock_guard<std::mutex> lock(LogMutex());
        Log().push_back(entry);
        sink = CurrentSink();
    }
    if (sink) sink(entry);
}

std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> lock(LogMutex());
    return Log();
}

void Clear() {
    std::lock_guard<std::mutex> lock(LogMutex());
    Log().clear();
}

Sink SetSink(Sink sink) {
    std::lock_guard<std::mutex> lock(LogMutex());
    std::swap(CurrentSink(), sink);
    return sink;
}

}  // namespace CallLog
