#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/LocalizedString.h"

TEST(LocalizedString, KeyIsTextAndContextWithTextAsFallback) {
    namespace fs = std::filesystem;
    fs::path root = fs::temp_directory_path() / ("qv-loc-" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Contents/Resources/en.lproj");
    std::ofstream(root / "Contents/Resources/en.lproj/Localizable.strings")
        << "\"Close [Alert - Dismiss - Button]\" = \"Dismiss it\";\n"
           "\"Close [Menu]\" = \"Close window\";\n"
           "\"Close\" = \"Bare entry\";\n"
           "\"Caption [ Workspace Warning Caption]\" = \"Leading blank kept\";\n";
    NSBundle bundle(root.string());
    struct Case {
        const char* text;
        const char* context;
        const char* expected;
    } cases[] = {
        {"Close", "Alert - Dismiss - Button", "Dismiss it"},
        {"Close", "Menu", "Close window"},  // same text, other context, other translation
        {"Close", "Nowhere", "Close"},      // no entry: the text, not the key, and never the bare entry
        {"Caption", " Workspace Warning Caption", "Leading blank kept"},
        {"Caption", "Workspace Warning Caption", "Caption"},
        {"", "Ctx", " [Ctx]"},  // empty text without entry: the bundle answers the key
    };
    for (auto& c : cases) {
        auto r = LocalizedStringFromBundleWithContext(&bundle, NSString::from(c.text).get(), NSString::from(c.context).get());
        EXPECT_EQ(r->utf8(), c.expected) << c.text << " / " << c.context;
    }
    fs::remove_all(root);
}
