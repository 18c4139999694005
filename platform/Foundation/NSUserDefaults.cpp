#include "NSUserDefaults.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"

QV_IMPLEMENT(NSUserDefaults, NSObject) {}

namespace {
NSUserDefaults*& Shared() {
    static NSUserDefaults* shared = nullptr;
    return shared;
}

// Keys and values are stored one per line, so line breaks and tabs are escaped.
std::string Escape(const std::string& s) {
    std::string o;
    for (char c : s) {
        if (c == '\\') o += "\\\\";
        else if (c == '\n') o += "\\n";
        else if (c == '\t') o += "\\t";
        else if (c == '\r') o += "\\r";
        else o.push_back(c);
    }
    return o;
}
std::string Unescape(const std::string& s) {
    std::string o;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char n = s[++i];
            o.push_back(n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n);
        } else {
            o.push_back(s[i]);
        }
    }
    return o;
}
}  // namespace

NSUserDefaults* NSUserDefaults::standardUserDefaults() {
    if (!Shared()) {
        Ref<NSUserDefaults> created = New<NSUserDefaults>();
        created->retain();  // the shared instance lives until reset
        Shared() = created.get();
        Shared()->Load();
    }
    return Shared();
}

void NSUserDefaults::resetStandardUserDefaults() {
    if (Shared()) Shared()->release();
    Shared() = nullptr;
}

std::string NSUserDefaults::storagePath() {
    const char* home = std::getenv("HOME");
    std::string base = (home && *home) ? home : ".";
    return base + "/.quirevale/defaults";
}

void NSUserDefaults::Load() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.clear();
    std::string text;
    Kernel::FileSystem::ReadError error;
    constexpr uint64_t kDefaultsFileLimit = 16 * Kernel::kMebibyte;  // a few preferences
    if (!Kernel::FileSystem::ReadFile(Kernel::Path(storagePath()), text, kDefaultsFileLimit, &error)) {
        if (!error.missing)
            std::fprintf(stderr, "quirevale: the preferences \"%s\" can't be read: %s\n",
                         Kernel::EscapeForMessage(storagePath()).c_str(), error.reason.c_str());
        return;
    }
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        auto t1 = line.find('\t');
        if (t1 == std::string::npos || t1 + 2 >= line.size() || line[t1 + 2] != '\t') continue;
        char type = line[t1 + 1];
        if (type != 'i' && type != 'b' && type != 'd' && type != 's') continue;
        m_values[Unescape(line.substr(0, t1))] = Value{type, Unescape(line.substr(t1 + 3))};
    }
}

bool NSUserDefaults::Save() const {
    std::ostringstream out;
    for (auto& [k, v] : m_values) out << Escape(k) << '\t' << v.type << '\t' << Escape(v.text) << '\n';
    std::string path = storagePath();
    std::string dir = path.substr(0, path.rfind('/'));
    Kernel::FileSystem::CreateDirectoryRecursive(Kernel::Path(dir));
    return Kernel::FileSystem::WriteFileAtomically(Kernel::Path(path), out.str());
}

namespace {
NSUserDefaults::WriteObserver& Observer() {
    static NSUserDefaults::WriteObserver observer;
    return observer;
}
}  // namespace

NSUserDefaults::WriteObserver NSUserDefaults::setWriteObserver(WriteObserver observer) {
    std::swap(Observer(), observer);
    return observer;
}

void NSUserDefaults::Store(const std::string& key, Value v) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_values[key] = v;
        Save();
    }
    if (Observer()) Observer()(key, v.type, v.text);
}

void NSUserDefaults::setInteger(NSInteger value, const std::string& key) { Store(key, {'i', std::to_string(value)}); }
void NSUserDefaults::setBool(BOOL value, const std::string& key) { Store(key, {'b', value ? "1" : "0"}); }
void NSUserDefaults::setDouble(double value, const std::string& key) {
    std::ostringstream s;
    s.precision(17);
    s << value;
    Store(key, {'d', s.str()});
}
void NSUserDefaults::setString(const std::string& value, const std::string& key) { Store(key, {'s', value}); }

void NSUserDefaults::setObject(NSObject* value, const std::string& key) {
    if (!value) return removeObjectForKey(key);
    if (auto* s = ObjectCast<NSString>(value)) return setString(s->utf8(), key);
    if (auto* n = ObjectCast<NSNumber>(value)) {
        switch (n->kind()) {
        case NSNumber::Kind::Bool: return setBool(n->boolValue(), key);
        case NSNumber::Kind::Double: return setDouble(n->doubleValue(), key);
        default: return setInteger(n->integerValue(), key);
        }
    }
}

void NSUserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_values.erase(key)) Save();
}

id NSUserDefaults::objectForKey(const std::string& key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_values.find(key);
    if (it == m_values.end()) return nullptr;
    const Value& v = it->second;
    switch (v.type) {
    // Numbers beyond a type's range read as the nearest value it holds.
    case 'i': return NSNumber::numberWithLongLong(std::strtoll(v.text.c_str(), nullptr, 10));
    case 'b': return NSNumber::numberWithBool(v.text == "1");
    case 'd': return NSNumber::numberWithDouble(std::strtod(v.text.c_str(), nullptr));
    default: return NSString::from(v.text);
    }
}

NSInteger NSUserDefaults::integerForKey(const std::string& key) const {
    id o = objectForKey(key);
    if (auto* n = ObjectCast<NSNumber>(o.get())) return n->integerValue();
    if (auto* s = ObjectCast<NSString>(o.get())) return std::strtol(s->utf8().c_str(), nullptr, 10);
    return 0;
}

BOOL NSUserDefaults::boolForKey(const std::string& key) const {
    id o = objectForKey(key);
    if (auto* n = ObjectCast<NSNumber>(o.get())) return n->boolValue();
    if (auto* s = ObjectCast<NSString>(o.get()))
        return s->utf8() == "YES" || std::strtoll(s->utf8().c_str(), nullptr, 10) != 0;
    return NO;
}

double NSUserDefaults::doubleForKey(const std::string& key) const {
    id o = objectForKey(key);
    if (auto* n = ObjectCast<NSNumber>(o.get())) return n->doubleValue();
    return 0;
}

Ref<NSString> NSUserDefaults::stringForKey(const std::string& key) const {
    id o = objectForKey(key);
    if (auto* s = ObjectCast<NSString>(o.get())) return Ref<NSString>(s);
    if (auto* n = ObjectCast<NSNumber>(o.get())) return NSString::from(n->description());
    return nullptr;
}

BOOL NSUserDefaults::synchronize() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Save();
}
