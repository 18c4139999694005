#include "NSBundle.h"

#include <dirent.h>

#include <cstdio>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"

QV_IMPLEMENT(NSBundle, NSObject) {}

namespace {
std::mutex g_bundlesMutex;
Ref<NSBundle>& MainRef() {
    static Ref<NSBundle> main;
    return main;
}
std::map<std::string, Ref<NSBundle>>& Frameworks() {
    static std::map<std::string, Ref<NSBundle>> f;
    return f;
}

std::string DefaultMainPath() {
    std::string dir = Kernel::FileSystem::GetExecutableDirectory().ToStd();
    const std::string suffix = "/Contents/MacOS";
    if (dir.size() > suffix.size() && dir.compare(dir.size() - suffix.size(), suffix.size(), suffix) == 0)
        return dir.substr(0, dir.size() - suffix.size());
    std::string beside = dir + "/Quirevale.app";
    if (Kernel::FileSystem::IsDirectory(Kernel::Path(beside))) return beside;
    return dir;
}
}  // namespace

NSBundle* NSBundle::mainBundle() {
    std::lock_guard<std::mutex> lock(g_bundlesMutex);
    if (!MainRef()) MainRef() = New<NSBundle>(DefaultMainPath());
    return MainRef().get();
}

void NSBundle::setMainBundlePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_bundlesMutex);
    MainRef() = New<NSBundle>(path);
    Frameworks().clear();
}

NSBundle* NSBundle::bundleWithIdentifier(const std::string& identifier) {
    NSBundle* main = mainBundle();
    if (auto ident = main->bundleIdentifier(); ident && ident->utf8() == identifier) return main;
    std::lock_guard<std::mutex> lock(g_bundlesMutex);
    auto it = Frameworks().find(identifier);
    if (it != Frameworks().end()) return it->second.get();
    std::string dir = main->resourcePath() + "/Frameworks";
    if (DIR* d = opendir(dir.c_str())) {
        while (struct dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            auto candidate = New<NSBundle>(dir + "/" + name);
            auto ident = candidate->bundleIdentifier();
            if (ident && ident->utf8() == identifier) {
                Frameworks()[identifier] = candidate;
                closedir(d);
                return candidate.get();
            }
        }
        closedir(d);
    }
    return nullptr;
}

std::string NSBundle::executablePath() const { return Kernel::FileSystem::GetExecutablePath().ToStd(); }

std::string NSBundle::pathForResource(const std::string& name, const std::string& type) const {
    std::string p = resourcePath() + "/" + name + (type.empty() ? "" : "." + type);
    return Kernel::FileSystem::Exists(Kernel::Path(p)) ? p : std::string();
}

Ref<NSString> NSBundle::objectForInfoDictionaryKey(const std::string& key) const {
    const auto& info = Table(resourcePath() + "/Info.strings");
    auto it = info.find(key);
    return it == info.end() ? nullptr : NSString::from(it->second);
}

Ref<NSString> NSBundle::localizedStringForKey(const NSString* key, const NSString* value, const NSString* table) const {
    std::string tableName = table ? table->utf8() : "Localizable";
    if (key) {
        const auto& t = Table(resourcePath() + "/en.lproj/" + tableName + ".strings");
        auto it = t.find(key->utf8());
        if (it != t.end()) return NSString::from(it->second);
    }
    if (value && !value->utf8().empty()) return Ref<NSString>(const_cast<NSString*>(value));
    return key ? Ref<NSString>(const_cast<NSString*>(key)) : NSString::string();
}

const std::map<std::string, std::string>& NSBundle::Table(const std::string& file) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_tables.find(file);
    if (it != m_tables.end()) return it->second;
    std::map<std::string, std::string> entries;
    std::string text;
    Kernel::FileSystem::ReadError error;
    constexpr uint64_t kStringsFileLimit = 16 * Kernel::kMebibyte;  // one table of localised texts
    if (Kernel::FileSystem::ReadFile(Kernel::Path(file), text, kStringsFileLimit, &error))
        ParseStrings(text, entries);
    else if (!error.missing)
        std::fprintf(stderr, "quirevale: the resource \"%s\" can't be read: %s\n",
                     Kernel::EscapeForMessage(file).c_str(), error.reason.c_str());
    return m_tables.emplace(file, std::move(entries)).first->second;
}

bool NSBundle::ParseStrings(const std::string& text, std::map<std::string, std::string>& out) {
    size_t i = 0, n = text.size();
    auto skip = [&] {
        for (;;) {
            while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
            if (i + 1 < n && text[i] == '/' && text[i + 1] == '*') {
                size_t e = text.find("*/", i + 2);
                i = e == std::string::npos ? n : e + 2;
            } else if (i + 1 < n && text[i] == '/' && text[i + 1] == '/') {
                while (i < n && text[i] != '\n') ++i;
            } else {
                return;
            }
        }
    };
    auto quoted = [&](std::string& s) -> bool {
        if (i >= n || text[i] != '"') return false;
        ++i;
        s.clear();
        while (i < n && text[i] != '"') {
            char c = text[i++];
            if (c == '\\' && i < n) {
                char e = text[i++];
                s.push_back(e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e);
            } else {
                s.push_back(c);
            }
        }
        if (i >= n) return false;
        ++i;
        return true;
    };
    for (;;) {
        skip();
        if (i >= n) return true;
        std::string key, value;
        if (!quoted(key)) return false;
        skip();
        if (i >= n || text[i] != '=') return false;
        ++i;
        skip();
        if (!quoted(value)) return false;
        skip();
        if (i >= n || text[i] != ';') return false;
        ++i;
        out[key] = value;
    }
}
