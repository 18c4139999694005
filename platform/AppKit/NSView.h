// Views, controllers, events, colours and the locale: the small AppKit pieces the application uses.
#pragma once
#include <optional>
#include <string>

#include "AppKit/NSMenu.h"
#include "AppKit/NSWindow.h"

class NSView : public NSObject {
    QV_OBJECT(NSView)
public:
    // Screen to view coordinates for the text look-up panel, which places itself by the text.
    NSPoint convertPointFromScreen(NSPoint p) const { return p; }
    // The window holding the view; nil for a view outside any window.
    NSWindow* window() const { return m_window.get(); }
    // A point of the from view (nil: of the window) in this view's coordinates.
    NSPoint convertPointFromView(NSPoint p, const NSView* from) const;
    NSRect convertRectFromView(NSRect r, const NSView* from) const {
        return NSRect{convertPointFromView(r.origin, from), r.size};
    }

    // Stand-in state: the window and where the view lies in it.
    void setWindow(NSWindow* window) { m_window = window; }
    void setFrameOrigin(NSPoint origin) { m_frameOrigin = origin; }
    NSPoint frameOrigin() const { return m_frameOrigin; }

private:
    Ref<NSWindow> m_window;
    NSPoint m_frameOrigin{};
};

class NSAttributedString : public NSObject {
    QV_OBJECT(NSAttributedString)
public:
    NSAttributedString* initWithString(const NSString* text) {
        m_string = text ? NSString::from(text->utf8()) : NSString::string();
        return this;
    }
    NSString* string() const { return m_string.get(); }

private:
    Ref<NSString> m_string = NSString::string();
};

class NSController : public NSObject {
    QV_OBJECT(NSController)
public:
    NSObject* init() override;
    // Stand-in control: the next so many inits answer nil.
    static void FailNextInits(int count);
};

class NSEvent : public NSObject {
    QV_OBJECT(NSEvent)
public:
    enum : NSUInteger { NSEventModifierFlagShift = 1u << 17, NSEventModifierFlagOption = 1u << 19,
                        NSEventModifierFlagCommand = 1u << 20 };
    static NSUInteger modifierFlags();
    static BOOL isCommandKeyDown() { return (modifierFlags() & NSEventModifierFlagCommand) != 0; }
    static NSPoint mouseLocation();

    // Stand-in state: the keys held and where the mouse is.
    static void SetModifierFlags(NSUInteger flags);
    static void SetMouseLocation(NSPoint p);
};

class NSColor : public NSObject {
    QV_OBJECT(NSColor)
public:
    static Ref<NSColor> colorWithDeviceRed(double red, double green, double blue, double alpha);
    double redComponent() const { return m_rgba[0]; }
    double greenComponent() const { return m_rgba[1]; }
    double blueComponent() const { return m_rgba[2]; }
    double alphaComponent() const { return m_rgba[3]; }
    bool isDeviceRGB() const { return true; }

private:
    double m_rgba[4] = {0, 0, 0, 1};
};

extern NSString* const NSLocaleCountryCode;

class NSLocale : public NSObject {
    QV_OBJECT(NSLocale)
public:
    static Ref<NSLocale> currentLocale();
    // NSLocaleCountryCode answers the region of the locale; nil when it has none.
    id objectForKey(const NSString* key) const;

    // The stand-in reads the region from LC_ALL, LC_MESSAGES or LANG ("en_GB.UTF-8" gives "GB");
    // tests can fix it instead (an empty optional goes back to the environment, an empty string
    // means no country).
    static void SetCountryCodeOverride(std::optional<std::string> code);

private:
    std::string m_country;
    bool m_hasCountry = false;
};
