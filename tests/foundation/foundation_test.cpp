#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Foundation/Foundation.h"

namespace {

class Sample : public NSObject {
    QV_OBJECT(Sample)
public:
    int actions = 0;
    NSObject* lastSender = nullptr;
    void doIt(NSObject* sender) {
        ++actions;
        lastSender = sender;
    }
    BOOL validate(NSObject*) { return YES; }
    Ref<NSString> name() { return NSString::from("sample"); }
};

class SampleChild : public Sample {
    QV_OBJECT(SampleChild)
public:
    bool initialised = false;
    NSObject* init() override {
        if (!Sample::init()) return nullptr;
        initialised = true;
        return this;
    }
    void childOnly(NSObject*) {}
};

}  // namespace

QV_IMPLEMENT(Sample, NSObject) {
    c.method("doIt:", &Sample::doIt);
    c.method("validateMenuItem:", &Sample::validate);
    c.method("name", &Sample::name);
}
QV_IMPLEMENT(SampleChild, Sample) { c.method("childOnly:", &SampleChild::childOnly); }

TEST(ObjectRuntime, SelectorsAreInternedAndDispatchedByName) {
    EXPECT_EQ(sel_registerName("addRasterLayer:"), QV_SELECTOR(addRasterLayer:));
    EXPECT_NE(sel_registerName("addRasterLayer:"), sel_registerName("addRasterLayer"));
    EXPECT_EQ(QV_SELECTOR(initWithID:name:menu:tool:), sel_registerName("initWithID:name:menu:tool:"));

    auto child = New<SampleChild>();
    EXPECT_TRUE(child->initialised);
    struct Case {
        const char* sel;
        bool sampleAnswers;
        bool childAnswers;
    } cases[] = {{"doIt:", true, true}, {"childOnly:", false, true}, {"unknown:", false, false}, {"validateMenuItem:", true, true}};
    auto sample = New<Sample>();
    for (auto& c : cases) {
        EXPECT_EQ(sample->respondsToSelector(sel_registerName(c.sel)), c.sampleAnswers) << c.sel;
        EXPECT_EQ(child->respondsToSelector(sel_registerName(c.sel)), c.childAnswers) << c.sel;
    }
    EXPECT_FALSE(sample->respondsToSelector(nullptr));

    child->performSelector(QV_SELECTOR(doIt:), sample.get());
    EXPECT_EQ(child->actions, 1);
    EXPECT_EQ(child->lastSender, sample.get());
    EXPECT_TRUE(child->performBoolSelector(QV_SELECTOR(validateMenuItem:)));
    EXPECT_FALSE(child->performBoolSelector(QV_SELECTOR(unknown:)));  // unknown answers NO, no throw
    EXPECT_EQ(child->performSelector(nullptr), nullptr);
    id name = child->performSelector(QV_SELECTOR(name));
    ASSERT_TRUE(ObjectCast<NSString>(name.get()));
    EXPECT_EQ(ObjectCast<NSString>(name.get())->utf8(), "sample");
}

TEST(ObjectRuntime, ClassesByNameAndKind) {
    ClassInfo* cls = NSClassFromString("SampleChild");
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(NSClassFromString("NoSuchClass"), nullptr);
    NSObject* raw = cls->alloc();
    ASSERT_NE(raw, nullptr);
    Ref<NSObject> obj = Ref<NSObject>::adopt(raw->init());
    EXPECT_TRUE(obj->isKindOfClass(Sample::Class_()));
    EXPECT_TRUE(obj->isKindOfClass(NSObject::Class_()));
    EXPECT_FALSE(obj->isMemberOfClass(Sample::Class_()));
    EXPECT_TRUE(static_cast<SampleChild*>(obj.get())->initialised);
    EXPECT_EQ(ObjectCast<NSString>(obj.get()), nullptr);
}

TEST(ObjectRuntime, ReferenceCountsAndAutoreleasePools) {
    auto s = New<Sample>();
    EXPECT_EQ(s->retainCount(), 1);
    {
        Ref<Sample> other = s;
        EXPECT_EQ(s->retainCount(), 2);
    }
    EXPECT_EQ(s->retainCount(), 1);
    {
        AutoreleasePool pool;
        s->retain();
        s->autorelease();
        EXPECT_EQ(s->retainCount(), 2);
    }
    EXPECT_EQ(s->retainCount(), 1);
}

TEST(NSStringTest, LengthsAndCutsCountUtf16Units) {
    struct Case {
        const char* text;
        NSUInteger length;
        NSUInteger cut;
        const char* prefix;
    } cases[] = {
        {"hello", 5, 2, "he"},
        {"caf\xc3\xa9!", 5, 4, "caf\xc3\xa9"},
        {"\xf0\x9f\x98\x80x", 3, 2, "\xf0\x9f\x98\x80"},  // one emoji is two units
        {"", 0, 3, ""},
    };
    for (auto& c : cases) {
        auto s = NSString::from(c.text);
        EXPECT_EQ(s->length(), c.length) << c.text;
        EXPECT_EQ(s->substringToIndex(c.cut)->utf8(), c.prefix) << c.text;
    }
}

TEST(NSStringTest, FormatWithObjectsAndNumbers) {
    auto text = NSString::from("Hello");
    auto ctx = NSString::from(" Workspace Warning Caption");
    EXPECT_EQ(NSString::stringWithFormat("%@ [%@]", {text.get(), ctx.get()})->utf8(), "Hello [ Workspace Warning Caption]");
    EXPECT_EQ(NSString::stringWithFormat("%d%% of %s", {50LL, "it"})->utf8(), "50% of it");
    EXPECT_EQ(NSString::stringWithFormat("%2$@-%1$@", {text.get(), ctx.get()})->utf8(), " Workspace Warning Caption-Hello");
    EXPECT_EQ(NSString::stringWithFormat("%@…", {text.get()})->utf8(), "Hello…");
    EXPECT_EQ(NSString::stringWithFormat("%.1f", {2.25})->utf8(), "2.2");
}

TEST(Collections, ArraysAndDictionaries) {
    auto a = NSString::from("a"), b = NSString::from("b");
    NSObject* objs[] = {a.get(), b.get()};
    auto arr = NSArray::arrayWithObjects(objs, 2);
    EXPECT_EQ(arr->count(), 2u);
    EXPECT_EQ(arr->objectAtIndex(5), nullptr);
    EXPECT_EQ(arr->indexOfObject(NSString::from("b").get()), 1);

    auto one = NSNumber::numberWithUnsignedInt(1), two = NSNumber::numberWithUnsignedInt(2);
    NSObject* vals[] = {one.get(), two.get()};
    auto dict = NSDictionary::dictionaryWithObjects(vals, objs, 2);
    EXPECT_EQ(dict->count(), 2u);
    auto* found = ObjectCast<NSNumber>(dict->objectForKey(NSString::from("b").get()));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->unsignedIntValue(), 2u);
    EXPECT_EQ(dict->objectForKey(NSString::from("c").get()), nullptr);

    auto m = NSMutableDictionary::dictionary();
    m->setObject(one.get(), a.get());
    m->setObject(two.get(), NSString::from("a").get());  // same key replaces
    EXPECT_EQ(m->count(), 1u);
    m->removeObjectForKey(a.get());
    EXPECT_EQ(m->count(), 0u);
}

namespace {
struct TempHome {
    std::filesystem::path dir;
    std::string oldHome;
    TempHome() {
        dir = std::filesystem::temp_directory_path() / ("qv-home-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const char* h = std::getenv("HOME");
        oldHome = h ? h : "";
        setenv("HOME", dir.c_str(), 1);
        NSUserDefaults::resetStandardUserDefaults();
    }
    ~TempHome() {
        setenv("HOME", oldHome.c_str(), 1);
        NSUserDefaults::resetStandardUserDefaults();
        std::filesystem::remove_all(dir);
    }
};
}  // namespace

TEST(UserDefaults, ValuesSurviveAReload) {
    TempHome home;
    auto* d = NSUserDefaults::standardUserDefaults();
    d->setInteger(48, "DocumentDefaultSize");
    d->setBool(YES, "com.tolvaware.Preferences.ShowWordCounts");
    d->setString("two\nlines\tand tab", "text");
    NSUserDefaults::resetStandardUserDefaults();
    d = NSUserDefaults::standardUserDefaults();
    EXPECT_EQ(d->integerForKey("DocumentDefaultSize"), 48);
    EXPECT_TRUE(d->boolForKey("com.tolvaware.Preferences.ShowWordCounts"));
    EXPECT_FALSE(d->boolForKey("missing"));
    EXPECT_EQ(d->stringForKey("text")->utf8(), "two\nlines\tand tab");
    EXPECT_TRUE(std::filesystem::exists(NSUserDefaults::storagePath()));
}

TEST(Bundle, StringsTablesAndLookupRules) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("qv-bundle-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Contents/Resources/en.lproj");
    std::ofstream(root / "Contents/Resources/Info.strings") << "\"CFBundleIdentifier\" = \"com.example.test\";\n";
    std::ofstream(root / "Contents/Resources/en.lproj/Localizable.strings")
        << "/* comment */\n\"Dismiss [Alert - Dismiss - Button]\" = \"Fermer\";\n// line\n\"quote\\\"d\" = \"q\";\n";
    NSBundle bundle(root.string());
    EXPECT_EQ(bundle.bundleIdentifier()->utf8(), "com.example.test");
    auto look = [&](const char* key, const char* value) {
        auto k = NSString::from(key);
        Ref<NSString> v = value ? NSString::from(value) : nullptr;
        return bundle.localizedStringForKey(k.get(), v.get(), nullptr)->utf8();
    };
    EXPECT_EQ(look("Dismiss [Alert - Dismiss - Button]", "Dismiss"), "Fermer");
    EXPECT_EQ(look("quote\"d", "x"), "q");
    EXPECT_EQ(look("Missing [Ctx]", "Missing"), "Missing");
    EXPECT_EQ(look(" [Ctx]", ""), " [Ctx]");  // empty fallback: the key comes back
    EXPECT_EQ(look(" [Ctx]", nullptr), " [Ctx]");

    std::map<std::string, std::string> out;
    EXPECT_FALSE(NSBundle::ParseStrings("\"a\" = \"b\"", out));  // missing semicolon
    EXPECT_FALSE(NSBundle::ParseStrings("\"a\" = \"b", out));
    fs::remove_all(root);
}
