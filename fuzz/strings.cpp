// The strings-file reader, on its own and as a bundle reads its Info and Localizable tables
// from disk. A table that reads must be written back (quoted and escaped) to a file that
// reads as the same table, and the bundle must answer every entry it holds.
#include <sys/stat.h>

#include <map>

#include "Foundation/Foundation.h"
#include "FuzzSupport.h"

namespace {

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\', out += c;
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out + "\"";
}

std::string g_bundle;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    g_bundle = Fuzz::ScratchFolder() + "/Strings.app";
    for (const char* folder : {"", "/Contents", "/Contents/Resources", "/Contents/Resources/en.lproj"})
        mkdir((g_bundle + folder).c_str(), 0700);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::string> table;
    if (!NSBundle::ParseStrings(text, table)) return 0;

    std::string written = "/* written back */\n";
    for (const auto& [key, value] : table) written += Quote(key) + " = " + Quote(value) + ";\n";
    std::map<std::string, std::string> reread;
    FUZZ_CHECK(NSBundle::ParseStrings(written, reread), "a table written back does not read: %s",
               Fuzz::Shown(written).c_str());
    FUZZ_CHECK(reread == table, "a table written back reads as another (%zu entries, %zu)", table.size(),
               reread.size());

    Fuzz::WriteWholeFile(g_bundle + "/Contents/Resources/Info.strings", text);
    Fuzz::WriteWholeFile(g_bundle + "/Contents/Resources/en.lproj/Localizable.strings", text);
    AutoreleasePool pool;
    auto bundle = New<NSBundle>(g_bundle);
    for (const auto& [key, value] : table) {
        Ref<NSString> info = bundle->objectForInfoDictionaryKey(key);
        FUZZ_CHECK(info && info->utf8() == value, "Info value of \"%s\" is not \"%s\"", Fuzz::Shown(key).c_str(),
                   Fuzz::Shown(value).c_str());
        Ref<NSString> localized = bundle->localizedStringForKey(NSString::from(key).get(), nullptr, nullptr);
        FUZZ_CHECK(localized && localized->utf8() == value, "localized \"%s\" is not \"%s\"", Fuzz::Shown(key).c_str(),
                   Fuzz::Shown(value).c_str());
    }
    return 0;
}
