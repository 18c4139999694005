#include "AppKit/NSView.h"

#include <cstdlib>

QV_IMPLEMENT(NSView, NSObject) {}
QV_IMPLEMENT(NSController, NSObject) {}
QV_IMPLEMENT(NSAttributedString, NSObject) {}
QV_IMPLEMENT(NSEvent, NSObject) {}
QV_IMPLEMENT(NSColor, NSObject) {}
QV_IMPLEMENT(NSLocale, NSObject) {}

namespace {
int g_failNextControllerInits = 0;
NSUInteger g_modifierFlags = 0;
NSPoint g_mouse{};
std::optional<std::string>& CountryOverride() {
    static std::optional<std::string> code;
    return code;
}

// "en_GB.UTF-8@euro" -> "GB"; "C", "POSIX" and names without a region -> none.
std::optional<std::string> RegionOf(const char* locale) {
    if (!locale || !*locale) return std::nullopt;
    std::string s(locale);
    auto us = s.find('_');
    if (us == std::string::npos) return std::nullopt;
    std::string region = s.substr(us + 1);
    auto end = region.find_first_of(".@");
    if (end != std::string::npos) region.resize(end);
    if (region.empty()) return std::nullopt;
    return region;
}
}  // namespace

NSString* const NSLocaleCountryCode = [] {
    Ref<NSString> key = NSString::from("kCFLocaleCountryCodeKey");
    key->retain();  // lives for the process
    return key.get();
}();

NSRect NSWindow::convertRectFromScreen(NSRect rect) const {
    rect.origin.x -= m_origin.x;
    rect.origin.y -= m_origin.y;
    return rect;
}

NSPoint NSView::convertPointFromView(NSPoint p, const NSView* from) const {
    // Both views' frames are kept in window coordinates.
    if (from) {
        p.x += from->m_frameOrigin.x;
        p.y += from->m_frameOrigin.y;
    }
    return NSPoint{p.x - m_frameOrigin.x, p.y - m_frameOrigin.y};
}

NSObject* NSController::init() {
    if (g_failNextControllerInits > 0) {
        --g_failNextControllerInits;
        return nullptr;
    }
    return NSObject::init();
}
void NSController::FailNextInits(int count) { g_failNextControllerInits = count; }

NSUInteger NSEvent::modifierFlags() { return g_modifierFlags; }
NSPoint NSEvent::mouseLocation() { return g_mouse; }
void NSEvent::SetModifierFlags(NSUInteger flags) { g_modifierFlags = flags; }
void NSEvent::SetMouseLocation(NSPoint p) { g_mouse = p; }

Ref<NSColor> NSColor::colorWithDeviceRed(double red, double green, double blue, double alpha) {
    auto c = New<NSColor>();
    c->m_rgba[0] = red;
    c->m_rgba[1] = green;
    c->m_rgba[2] = blue;
    c->m_rgba[3] = alpha;
    return c;
}

Ref<NSLocale> NSLocale::currentLocale() {
    auto locale = New<NSLocale>();
    std::optional<std::string> region;
    if (CountryOverride()) {
        if (!CountryOverride()->empty()) region = *CountryOverride();
    } else {
        for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(var);
            if (value && *value) {
                region = RegionOf(value);
                break;
            }
        }
    }
    if (region) {
        locale->m_country = *region;
        locale->m_hasCountry = true;
    }
    return locale;
}

id NSLocale::objectForKey(const NSString* key) const {
    if (key && key->isEqualToString(NSLocaleCountryCode) && m_hasCountry) return NSString::from(m_country);
    return nullptr;
}

void NSLocale::SetCountryCodeOverride(std::optional<std::string> code) { CountryOverride() = std::move(code); }
