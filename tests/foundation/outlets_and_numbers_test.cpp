// Values from outside that the object runtime passes on: objects connected to outlets of the
// wrong class, and numbers beyond the range of the type a method or a preference reads them as.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "AppKit/AppKit.h"
#include "Foundation/Foundation.h"

namespace {

class NibOutletHolder : public NSObject {
    QV_OBJECT(NibOutletHolder)
public:
    Ref<NSMenu> menu;
    Ref<NSMenuItem> item;
    id anything;
    NSInteger count = -7;
    unsigned char small = 9;
    void setMenu(NSMenu* m) { menu = m; }
    void setItem(NSMenuItem* i) { item = i; }
    void setAnything(NSObject* o) { anything = o; }
    void setCount(NSInteger n) { count = n; }
    void setSmall(unsigned char n) { small = n; }
};

}  // namespace

QV_IMPLEMENT(NibOutletHolder, NSObject) {
    c.method("setMenu:", &NibOutletHolder::setMenu);
    c.method("setItem:", &NibOutletHolder::setItem);
    c.method("setAnything:", &NibOutletHolder::setAnything);
    c.method("setCount:", &NibOutletHolder::setCount);
    c.method("setSmall:", &NibOutletHolder::setSmall);
}

namespace {

// An object of a class the outlet does not take is a load error naming the file, the line, the
// object and the outlet, and leaves the owner's outlets as they were.
TEST(NibOutlets, AnObjectOfTheWrongClassIsRefusedAndConnectsNothing) {
    struct Case {
        std::string nib;
        std::string error;  // empty: the nib loads
    };
    const Case cases[] = {
        {"menu menu \"M\"\nend\n", ""},
        {"menu anything \"M\"\nend\n", ""},
        {"object h NibOutletHolder\nmenu - \"M\"\n  item \"I\" outlet=h.item\n  separator outlet=h.anything\nend\n", ""},
        {"object o NSObject outlet=menu\n",
         "quirevale: test.nib:1: object o (class NSObject) can't be the outlet menu, which takes NSMenu\n"},
        {"# the menu would be connected first\nmenu menu \"M\"\nend\nobject o NibOutletHolder outlet=menu\n",
         "quirevale: test.nib:4: object o (class NibOutletHolder) can't be the outlet menu, which takes NSMenu\n"},
        {"menu count \"Numbers\"\nend\n",
         "quirevale: test.nib:1: menu \"Numbers\" (class NSMenu) can't be the outlet count, which takes no object\n"},
        {"object h NibOutletHolder\nmenu menu \"M\"\n  item \"Open\" outlet=h.menu\nend\n",
         "quirevale: test.nib:3: item \"Open\" (class NSMenuItem) can't be the outlet menu of h, which takes NSMenu\n"},
        {"object h NibOutletHolder\nmenu menu \"M\"\n  separator outlet=h.small\nend\n",
         "quirevale: test.nib:3: separator (class NSMenuItem) can't be the outlet small of h, which takes no object\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.nib);
        AutoreleasePool pool;
        auto owner = New<NibOutletHolder>();
        Ref<NSArray> objects;
        testing::internal::CaptureStderr();
        const BOOL loaded = LoadNibFromText(c.nib, "test.nib", owner.get(), &objects);
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(loaded, c.error.empty());
        EXPECT_EQ(error, c.error);
        if (!loaded) {
            EXPECT_FALSE(objects);
            EXPECT_FALSE(owner->menu);
            EXPECT_FALSE(owner->anything);
            EXPECT_EQ(owner->count, -7);
        }
    }
}

// A method reached by selector never sees an object of another class than it takes (it gets
// nil), nor a number its parameter cannot hold (it gets the nearest it can).
TEST(ObjectRuntime, ArgumentsArriveAsTheTypeTheMethodTakes) {
    auto holder = New<NibOutletHolder>();
    auto menu = New<NSMenu>();
    holder->performSelector(QV_SELECTOR(setMenu:), menu.get());
    EXPECT_EQ(holder->menu.get(), menu.get());
    holder->performSelector(QV_SELECTOR(setMenu:), New<NSObject>().get());
    EXPECT_FALSE(holder->menu);
    holder->performSelector(QV_SELECTOR(setItem:), menu.get());
    EXPECT_FALSE(holder->item);

    const ClassInfo& info = holder->classInfo();
    EXPECT_EQ(info.argumentClass(QV_SELECTOR(setMenu:)), &NSMenu::Class_());
    EXPECT_EQ(info.argumentClass(QV_SELECTOR(setAnything:)), &NSObject::Class_());
    EXPECT_EQ(info.argumentClass(QV_SELECTOR(setCount:)), nullptr);

    struct Case {
        id number;
        NSInteger count;
        unsigned char small;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {NSNumber::numberWithDouble(1e300), LONG_MAX, 255},
        {NSNumber::numberWithDouble(-1e300), LONG_MIN, 0},
        {NSNumber::numberWithDouble(inf), LONG_MAX, 255},
        {NSNumber::numberWithDouble(-inf), LONG_MIN, 0},
        {NSNumber::numberWithDouble(std::nan("")), 0, 0},
        {NSNumber::numberWithDouble(9.2233720368547758e18), LONG_MAX, 255},  // 2^63
        {NSNumber::numberWithDouble(-41.9), -41, 0},
        {NSNumber::numberWithDouble(200.7), 200, 200},
        {NSNumber::numberWithUnsignedLongLong(ULLONG_MAX), LONG_MAX, 255},
        {NSNumber::numberWithLongLong(300), 300, 255},
        {NSNumber::numberWithLongLong(-1), -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number->description());
        holder->performSelector(QV_SELECTOR(setCount:), c.number.get());
        holder->performSelector(QV_SELECTOR(setSmall:), c.number.get());
        EXPECT_EQ(holder->count, c.count);
        EXPECT_EQ(int(holder->small), int(c.small));
    }
}

struct ScratchHome {
    std::filesystem::path dir;
    std::string oldHome;
    ScratchHome() {
        dir = std::filesystem::temp_directory_path() / ("qv-home-numbers-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / ".quirevale");
        const char* h = std::getenv("HOME");
        oldHome = h ? h : "";
        setenv("HOME", dir.c_str(), 1);
        NSUserDefaults::resetStandardUserDefaults();
    }
    ~ScratchHome() {
        setenv("HOME", oldHome.c_str(), 1);
        NSUserDefaults::resetStandardUserDefaults();
        std::filesystem::remove_all(dir);
    }
};

// Preferences edited by hand with numbers out of range read as the nearest whole number; a flag
// is only "0" or "1", and any other text of one reads as NO.
TEST(UserDefaults, NumbersOutOfRangeReadAsTheNearestValue) {
    ScratchHome home;
    std::ofstream(home.dir / ".quirevale/defaults") << "huge\td\t1e300\n"
                                                       "tiny\td\t-1e300\n"
                                                       "beyond\td\t1e400\n"
                                                       "nan\td\tnan\n"
                                                       "minus\td\t-2.5\n"
                                                       "wide\ti\t99999999999999999999\n"
                                                       "text\ts\t-99999999999999999999\n"
                                                       "flag\ts\t4294967296\n"
                                                       "on\tb\t1\n"
                                                       "off\tb\t0\n"
                                                       "two\tb\t2\n"
                                                       "yes\tb\tYES\n"
                                                       "spaced\tb\t 1\n"
                                                       "blank\tb\t\n";
    struct Case {
        const char* key;
        NSInteger integer;
        bool flag;
    };
    const Case cases[] = {
        {"huge", LONG_MAX, true}, {"tiny", LONG_MIN, true}, {"beyond", LONG_MAX, true},
        {"nan", 0, true},         {"minus", -2, true},      {"wide", LONG_MAX, true},
        {"text", LONG_MIN, true}, {"flag", 4294967296, true},
        {"on", 1, true},          {"off", 0, false},        {"two", 0, false},
        {"yes", 0, false},        {"spaced", 0, false},     {"blank", 0, false},
    };
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(defaults->integerForKey(c.key), c.integer);
        EXPECT_EQ(bool(defaults->boolForKey(c.key)), c.flag);
    }
    EXPECT_EQ(defaults->doubleForKey("huge"), 1e300);
    EXPECT_TRUE(std::isinf(defaults->doubleForKey("beyond")));
}

}  // namespace
