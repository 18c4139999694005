// The nib reader, with the two kinds of owner the bundle's nibs have: the application (the
// main menus) and the context-menu controller. A nib that loads must leave the owner's outlets
// holding what their setters take, so that every menu they reach can be walked; one that does
// not load must say why on one line naming the file and the line, escaped, and connect nothing.
#include <string_view>

#include "AppKit/AppKit.h"
#include "FuzzSupport.h"
#include "UIFramework/Application.h"

namespace {

// The context-menu controller's outlets, as its getters answer them.
constexpr const char* kContextOutlets[] = {"generalMenu",   "selectMenu",      "selectExportableMenu",
                                           "textMenu",      "paletteEditMenu", "zoomMenu",
                                           "sliceMenu",     "advancedTextMenu"};

// Touches every item of the menu and of its submenus, as showing it does.
size_t Walk(const NSMenu* menu, int depth = 0) {
    if (!menu || depth > 64) return 0;
    size_t count = 0;
    for (const auto& item : menu->itemArray()) {
        ++count;
        if (item->isSeparatorItem()) continue;
        count += item->title() ? item->title()->utf8().size() : 0;
        count += Walk(item->submenu(), depth + 1);
    }
    return count + (menu->title() ? menu->title()->utf8().size() : 0);
}

std::vector<NSObject*> ContextOutlets(NSObject* controller) {
    std::vector<NSObject*> outlets;
    for (const char* name : kContextOutlets) {
        SEL getter = sel_registerName(name);
        outlets.push_back(controller->respondsToSelector(getter) ? controller->performSelector(getter).get() : nullptr);
    }
    return outlets;
}

void CheckRefusal(const std::string& errors, BOOL loaded, const Ref<NSArray>& objects) {
    if (loaded) {
        FUZZ_CHECK(objects, "a nib that loaded handed back no objects");
        return;
    }
    FUZZ_CHECK(!objects, "a nib that did not load handed back objects");
    const std::string_view prefix = "quirevale: fuzz.nib:";
    FUZZ_CHECK(std::string_view(errors).starts_with(prefix), "a refused nib is not named: %s",
               Fuzz::Shown(errors).c_str());
    FUZZ_CHECK(!errors.empty() && errors.back() == '\n' && errors.find('\n') == errors.size() - 1,
               "a refused nib is told in other than one line: %s", Fuzz::Shown(errors).c_str());
    FUZZ_CHECK(Fuzz::FirstUnshownByte(std::string_view(errors).substr(0, errors.size() - 1)) == std::string_view::npos,
               "a refused nib is told with a byte that could act on a terminal: %s", Fuzz::Shown(errors).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    NSBundle::setMainBundlePath(QV_BUNDLE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ResetStandIns();
    {
        AutoreleasePool pool;
        // The application as owner, as the main menus have it.
        auto app = New<NSApplication>();
        NSApp = app.get();
        Ref<NSArray> objects;
        BOOL loaded;
        std::string errors;
        {
            Fuzz::Capture out(1), err(2);
            loaded = LoadNibFromText(text, "fuzz.nib", app.get(), &objects);
            errors = err.Stop();
        }
        CheckRefusal(errors, loaded, objects);
        if (!loaded) FUZZ_CHECK(!app->mainMenu(), "a nib that did not load connected the main menu");
        Walk(app->mainMenu());
        NSApp = nullptr;

        // The context-menu controller as owner, with the bundle's own menus connected first.
        ClassInfo* cls = NSClassFromString("ContextMenuController");
        FUZZ_CHECK(cls, "no context-menu controller class");
        NSObject* raw = cls->alloc();
        NSObject* inited = raw ? raw->init() : nullptr;
        FUZZ_CHECK(inited, "the context-menu controller could not be made");
        id controller = id::adopt(inited);
        const std::vector<NSObject*> before = ContextOutlets(controller.get());
        {
            Fuzz::Capture out(1), err(2);
            loaded = LoadNibFromText(text, "fuzz.nib", controller.get(), &objects);
            errors = err.Stop();
        }
        CheckRefusal(errors, loaded, objects);
        const std::vector<NSObject*> after = ContextOutlets(controller.get());
        if (!loaded) FUZZ_CHECK(before == after, "a nib that did not load connected an outlet");
        for (NSObject* outlet : after) {
            if (!outlet) continue;
            NSMenu* menu = ObjectCast<NSMenu>(outlet);
            FUZZ_CHECK(menu, "an outlet of the context-menu controller holds a %s, not a menu",
                       outlet->classInfo().name().c_str());
            Walk(menu);
        }
        // The top-level objects are walked too: menus through their items, in file order.
        if (objects)
            for (const auto& object : objects->items())
                if (NSMenu* menu = ObjectCast<NSMenu>(object.get())) Walk(menu);
    }
    ResetStandIns();
    return 0;
}
