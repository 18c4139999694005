#include "AppKit/NibLoading.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <vector>

#include "AppKit/NSMenu.h"
#include "DocSession/CallLog.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"

namespace {

struct Token {
    std::string name;   // before '=', or empty for a bare word or quoted text
    std::string value;  // the word, or the text between quotes
    bool quoted = false;
};

bool Tokenise(const std::string& line, std::vector<Token>& out, std::string& error) {
    size_t i = 0, n = line.size();
    while (i < n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= n) break;
        Token t;
        auto readQuoted = [&](std::string& s) -> bool {
            ++i;  // opening quote
            while (i < n && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < n) ++i;
                s.push_back(line[i++]);
            }
            if (i >= n) return false;
            ++i;
            return true;
        };
        if (line[i] == '"') {
            t.quoted = true;
            if (!readQuoted(t.value)) {
                error = "unterminated text";
                return false;
            }
        } else {
            std::string word;
            while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '=' && line[i] != '\r') word.push_back(line[i++]);
            if (i < n && line[i] == '=') {
                ++i;
                t.name = word;
                if (i < n && line[i] == '"') {
                    t.quoted = true;
                    if (!readQuoted(t.value)) {
                        error = "unterminated text";
                        return false;
                    }
                } else {
                    while (i < n && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') t.value.push_back(line[i++]);
                }
            } else {
                t.value = word;
            }
        }
        out.push_back(std::move(t));
    }
    return true;
}

bool ParseInteger(const std::string& s, NSInteger& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (*end) return false;
    out = v;
    return true;
}

bool ParseYesNo(const std::string& s, BOOL& out) {
    if (s == "YES" || s == "yes" || s == "on" || s == "1") out = YES;
    else if (s == "NO" || s == "no" || s == "off" || s == "0") out = NO;
    else return false;
    return true;
}

std::string SetterFor(const std::string& outlet) {
    std::string s = "set" + outlet + ":";
    s[3] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[3])));
    return s;
}

// Why object can't be connected to the outlet that setter sets on holder; empty when it can.
std::string WrongClassForOutlet(const NSObject& holder, SEL setter, const NSObject& object, const std::string& named,
                                const std::string& outlet) {
    const ClassInfo* takes = holder.classInfo().argumentClass(setter);
    if (takes && object.isKindOfClass(*takes)) return {};
    return named + " (class " + object.classInfo().name() + ") can't be the outlet " + outlet + ", which takes " +
           (takes ? takes->name() : std::string("no object"));
}

}  // namespace

BOOL LoadNibFromText(const std::string& text, const std::string& source, NSObject* owner, Ref<NSArray>* topLevelObjects) {
    if (topLevelObjects) *topLevelObjects = nullptr;
    std::vector<id> topLevel;
    std::map<std::string, id> objects;
    struct PendingOwnerOutlet {  // an object or menu connected to an outlet of the owner
        std::string outlet;
        id object;
        std::string named;  // as messages name the object
        int line;
    };
    std::vector<PendingOwnerOutlet> outlets;
    struct PendingTarget {
        NSMenuItem* item;
        std::string name;
        int line;
    };
    std::vector<PendingTarget> targets;
    struct PendingOutlet {  // an item connected to an outlet of a top-level object
        NSMenuItem* item;
        std::string object;
        std::string outlet;
        int line;
    };
    std::vector<PendingOutlet> itemOutlets;
    auto addItemOutlet = [&](NSMenuItem* item, const std::string& value, int line) -> bool {
        size_t dot = value.find('.');
        if (dot == std::string::npos || dot == 0 || dot + 1 == value.size()) return false;
        itemOutlets.push_back({item, value.substr(0, dot), value.substr(dot + 1), line});
        return true;
    };
    std::vector<NSMenu*> open;  // menus being filled, innermost last

    auto fail = [&](int line, const std::string& why) {
        // The reason quotes the file's words.
        std::fprintf(stderr, "quirevale: %s:%d: %s\n", Kernel::EscapeForMessage(source).c_str(), line,
                     Kernel::EscapeForMessage(why).c_str());
        return NO;
    };

    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::vector<Token> tokens;
        std::string error;
        if (!Tokenise(line, tokens, error)) return fail(lineNo, error);
        if (tokens.empty() || (!tokens[0].quoted && tokens[0].value.starts_with("#"))) continue;
        const std::string& word = tokens[0].value;
        if (word == "object") {
            if (!open.empty()) return fail(lineNo, "object inside a menu");
            if (tokens.size() < 3) return fail(lineNo, "object needs a name and a class");
            ClassInfo* cls = NSClassFromString(tokens[2].value);
            if (!cls) return fail(lineNo, "unknown class " + tokens[2].value);
            NSObject* raw = cls->alloc();
            if (!raw) return fail(lineNo, "class " + tokens[2].value + " cannot be instantiated");
            NSObject* inited = raw->init();
            if (!inited) {
                raw->release();
                return fail(lineNo, "init of " + tokens[2].value + " answered nil");
            }
            id object = id::adopt(inited);
            if (objects.count(tokens[1].value)) return fail(lineNo, "object name used twice: " + tokens[1].value);
            objects[tokens[1].value] = object;
            topLevel.push_back(object);
            for (size_t k = 3; k < tokens.size(); ++k) {
                if (tokens[k].name == "outlet")
                    outlets.push_back({tokens[k].value, object, "object " + Kernel::Excerpt(tokens[1].value), lineNo});
                else return fail(lineNo, "unknown object attribute " + tokens[k].name);
            }
        } else if (word == "menu") {
            if (!open.empty()) return fail(lineNo, "menu inside a menu (use submenu)");
            if (tokens.size() < 3 || !tokens[2].quoted) return fail(lineNo, "menu needs an outlet (or -) and a title");
            auto menu = New<NSMenu>();
            menu->initWithTitle(NSString::from(tokens[2].value).get());
            for (size_t k = 3; k < tokens.size(); ++k) {
                BOOL on;
                if (tokens[k].name == "autoenables" && ParseYesNo(tokens[k].value, on)) menu->setAutoenablesItems(on);
                else return fail(lineNo, "unknown menu attribute " + tokens[k].name);
            }
            if (tokens[1].value != "-")
                outlets.push_back({tokens[1].value, id(menu.get()), "menu \"" + Kernel::Excerpt(tokens[2].value) + "\"", lineNo});
            topLevel.push_back(id(menu.get()));
            open.push_back(menu.get());
        } else if (word == "item" || word == "submenu") {
            if (open.empty()) return fail(lineNo, word + " outside a menu");
            if (tokens.size() < 2 || !tokens[1].quoted) return fail(lineNo, word + " needs a title");
            auto item = New<NSMenuItem>();
            item->initWithTitle(NSString::from(tokens[1].value).get(), nullptr, nullptr);
            for (size_t k = 2; k < tokens.size(); ++k) {
                const Token& t = tokens[k];
                NSInteger number;
                BOOL flag;
                if (t.name == "action") item->setAction(sel_registerName(t.value));
                else if (t.name == "key") item->setKeyEquivalent(NSString::from(t.value).get());
                else if (t.name == "tag" && ParseInteger(t.value, number)) item->setTag(number);
                else if (t.name == "target") targets.push_back({item.get(), t.value, lineNo});
                else if (t.name == "represented") item->setRepresentedObject(NSString::from(t.value).get());
                else if (t.name == "state" && ParseYesNo(t.value, flag)) item->setState(flag ? NSControlStateValueOn : NSControlStateValueOff);
                else if (t.name == "hidden" && ParseYesNo(t.value, flag)) item->setHidden(flag);
                else if (t.name == "outlet" && addItemOutlet(item.get(), t.value, lineNo)) {}
                else return fail(lineNo, "bad item attribute " + (t.name.empty() ? t.value : t.name));
            }
            open.back()->addItem(item.get());
            if (word == "submenu") {
                auto sub = New<NSMenu>();
                sub->initWithTitle(NSString::from(tokens[1].value).get());
                item->setSubmenu(sub.get());
                open.push_back(sub.get());
            }
        } else if (word == "separator") {
            if (open.empty()) return fail(lineNo, "separator outside a menu");
            Ref<NSMenuItem> separator = NSMenuItem::separatorItem();
            for (size_t k = 1; k < tokens.size(); ++k)
                if (tokens[k].name != "outlet" || !addItemOutlet(separator.get(), tokens[k].value, lineNo))
                    return fail(lineNo, "bad separator attribute " + (tokens[k].name.empty() ? tokens[k].value : tokens[k].name));
            open.back()->addItem(separator.get());
        } else if (word == "end") {
            if (open.empty()) return fail(lineNo, "end without a menu");
            open.pop_back();
        } else {
            return fail(lineNo, "unknown line: " + word);
        }
    }
    if (!open.empty()) return fail(lineNo, "menu not closed with end");
    for (auto& t : targets) {
        if (t.name == "owner") t.item->setTarget(owner);
        else if (auto it = objects.find(t.name); it != objects.end()) t.item->setTarget(it->second.get());
        else return fail(t.line, "unknown target " + t.name);
    }
    for (auto& o : itemOutlets) {
        auto it = objects.find(o.object);
        if (it == objects.end()) return fail(o.line, "unknown outlet owner " + o.object);
        SEL setter = sel_registerName(SetterFor(o.outlet));
        if (!it->second->respondsToSelector(setter)) return fail(o.line, o.object + " has no outlet " + o.outlet);
        const std::string named = o.item->isSeparatorItem() ? std::string("separator")
                                                            : "item \"" + Kernel::Excerpt(o.item->title()->utf8()) + "\"";
        if (std::string why = WrongClassForOutlet(*it->second, setter, *o.item, named,
                                                  Kernel::Excerpt(o.outlet) + " of " + Kernel::Excerpt(o.object));
            !why.empty())
            return fail(o.line, why);
        it->second->performSelector(setter, o.item);
    }
    // The owner's outlets are all checked before any is connected, so a refused nib leaves the
    // owner as it was.
    for (auto& o : outlets) {
        SEL setter = sel_registerName(SetterFor(o.outlet));
        if (!owner || !owner->respondsToSelector(setter)) continue;
        if (std::string why = WrongClassForOutlet(*owner, setter, *o.object, o.named, Kernel::Excerpt(o.outlet));
            !why.empty())
            return fail(o.line, why);
    }
    for (auto& o : outlets) {
        SEL setter = sel_registerName(SetterFor(o.outlet));
        if (owner && owner->respondsToSelector(setter)) owner->performSelector(setter, o.object.get());
    }
    if (topLevelObjects) *topLevelObjects = NSArray::arrayWithVector(std::move(topLevel));
    return YES;
}

BOOL NSBundleLoadNibNamed(NSBundle* bundle, const std::string& name, NSObject* owner, Ref<NSArray>* topLevelObjects) {
    CallLog::Call("NSBundle::loadNibNamed:owner:topLevelObjects:", name, static_cast<const NSObject*>(owner));
    if (topLevelObjects) *topLevelObjects = nullptr;
    if (!bundle) return NO;
    std::string path = bundle->pathForResource(name, "nib");
    std::string text;
    Kernel::FileSystem::ReadError error;
    constexpr uint64_t kNibFileLimit = 16 * Kernel::kMebibyte;  // a menu's objects take kilobytes
    if (path.empty() || !Kernel::FileSystem::ReadFile(Kernel::Path(path), text, kNibFileLimit, &error)) {
        if (path.empty() || error.missing)
            std::fprintf(stderr, "quirevale: interface file \"%s\" not found in %s\n",
                         Kernel::EscapeForMessage(name).c_str(), Kernel::EscapeForMessage(bundle->resourcePath()).c_str());
        else
            std::fprintf(stderr, "quirevale: interface file \"%s\" can't be read: %s\n",
                         Kernel::EscapeForMessage(path).c_str(), error.reason.c_str());
        return NO;
    }
    return LoadNibFromText(text, name + ".nib", owner, topLevelObjects);
}
