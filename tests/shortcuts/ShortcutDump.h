// The registration list of a populator written out one record a line, in the format of the
// hand-written tables in golden/ (see golden/FORMAT.md).
#pragma once
#include <cstdio>
#include <string>

#include "DocSession/ToolServices.h"
#include "UIFramework/NSMakeString.h"
#include "UIFramework/Panels.h"
#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

inline std::string DumpQuoted(const NSString* s) {
    std::string out = "\"";
    for (NSUInteger i = 0; s && i < s->length(); ++i) {
        unsigned short u = s->characterAtIndex(i);
        if (u == '\\') out += "\\\\";
        else if (u == '"') out += "\\\"";
        else if (u >= 0x20 && u <= 0x7E) out += static_cast<char>(u);
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        }
    }
    return out + "\"";
}

inline std::string DumpModifiers(NSUInteger mask) {
    if (mask == 0) return "0";
    std::string out;
    const std::pair<NSUInteger, const char*> names[] = {
        {0x20000, "Shift"}, {0x40000, "Control"}, {0x80000, "Option"}, {0x100000, "Command"}};
    for (auto [bit, name] : names)
        if (mask & bit) {
            out += (out.empty() ? "" : "+") + std::string(name);
            mask &= ~bit;
        }
    if (mask) {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%lX", static_cast<unsigned long>(mask));
        out += (out.empty() ? "" : "+") + std::string(buf);
    }
    return out;
}

inline std::string DumpCategory(uint32_t c) {
    if (c == 0) return "0";
    std::string chars;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char ch = static_cast<char>((c >> shift) & 0xff);
        if (ch < 0x20 || ch > 0x7E) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "0x%08X", c);
            return buf;
        }
        chars += ch;
    }
    return "'" + chars + "'";
}

inline std::string DumpTitle(const KeyEquivalentData* d) {
    NSString* title = d->title();
    if (!title) return "nil";
    if (d->associatedToolID() != static_cast<NSUInteger>(NSNotFound) &&
        title->isEqualToString(NSMakeString(GetToolIDDescription(static_cast<ToolID>(d->associatedToolID()))).get()))
        return "@tool";
    if (d->associatedToolID() == static_cast<NSUInteger>(NSNotFound) && d->categoryUID() == ShortcutCategory::Blend)
        for (int mode = 0; mode <= 31; ++mode)
            if (title->isEqualToString(NSMakeString(Kestrane::UIRendererFillBlendModes::GetText(
                                                        static_cast<Renderer::FillBlendMode::BlendMode>(mode)))
                                           .get()))
                return "@blend:" + std::to_string(mode);
    return DumpQuoted(title);
}

inline std::string DumpTarget(const KeyEquivalentData* d, const NSObject* self) {
    const NSObject* t = d->target();
    if (!t) return "nil";
    if (t == CommandControllerManager::GetInstance()->viewCommands()) return "viewCommands";
    if (t == CommandControllerManager::GetInstance()->studioCommands()) return "studioCommands";
    if (t == self) return "self";
    return "other:" + t->classInfo().name();
}

inline std::string DumpShortcuts(const ToolsKeyboardAcceleratorPopulator* p) {
    std::string out;
    size_t index = 0;
    for (const id& o : p->shortcuts()->items()) {
        auto* d = static_cast<const KeyEquivalentData*>(o.get());
        const bool tool = d->associatedToolID() != static_cast<NSUInteger>(NSNotFound);
        out += std::to_string(++index) + "\t" + (tool ? "tool" : "action") + "\t" + DumpQuoted(d->key()) + "\t" +
               DumpModifiers(d->modifierMask()) + "\t" + (tool ? std::to_string(d->associatedToolID()) : "NSNotFound") +
               "\t" + DumpTitle(d) + "\t" + (d->action() ? sel_getName(d->action()) : "NULL") + "\t" +
               DumpTarget(d, p) + "\t" + (d->superTitle() ? DumpQuoted(d->superTitle()) : "nil") + "\t" +
               DumpCategory(d->categoryUID()) + "\n";
    }
    return out;
}
