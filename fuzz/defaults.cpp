// The user-defaults reader: the input is "~/.quirevale/defaults" in a home folder of its own.
// Every value it holds is read in every way the application reads values, and the defaults
// saved again must read back with the same answers.
#include <sys/stat.h>

#include <cstring>
#include <set>

#include "Foundation/Foundation.h"
#include "FuzzSupport.h"

namespace {

std::string g_defaults;

struct Answers {
    NSInteger integer;
    BOOL flag;
    double number;
    bool hasString;
    std::string string;
    bool operator==(const Answers& o) const {
        return integer == o.integer && flag == o.flag && std::memcmp(&number, &o.number, sizeof number) == 0 &&
               hasString == o.hasString && string == o.string;
    }
};

Answers Ask(NSUserDefaults* defaults, const std::string& key) {
    AutoreleasePool pool;
    Answers a;
    (void)defaults->objectForKey(key);
    a.integer = defaults->integerForKey(key);
    a.flag = defaults->boolForKey(key);
    a.number = defaults->doubleForKey(key);
    Ref<NSString> s = defaults->stringForKey(key);
    a.hasString = bool(s);
    a.string = s ? s->utf8() : std::string();
    return a;
}

// The keys the file's lines may name: the text before the first tab, as written and with the
// file's escapes undone.
std::set<std::string> Keys(std::string_view text) {
    std::set<std::string> keys{"com.tolvaware.Preferences.UseShiftCycleTools"};
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        const size_t tab = line.find('\t');
        if (tab != std::string_view::npos) {
            std::string raw(line.substr(0, tab)), plain;
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '\\' && i + 1 < raw.size()) {
                    const char n = raw[++i];
                    plain.push_back(n == 'n' ? '\n' : n == 't' ? '\t' : n == 'r' ? '\r' : n);
                } else {
                    plain.push_back(raw[i]);
                }
            }
            keys.insert(raw);
            keys.insert(plain);
        }
        start = end + 1;
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    const std::string home = Fuzz::ScratchFolder() + "/home";
    mkdir(home.c_str(), 0700);
    mkdir((home + "/.quirevale").c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    g_defaults = home + "/.quirevale/defaults";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Fuzz::WriteWholeFile(g_defaults, text);
    const std::set<std::string> keys = Keys(text);

    NSUserDefaults::resetStandardUserDefaults();
    std::vector<Answers> first;
    {
        Fuzz::Capture err(2);
        NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
        for (const std::string& key : keys) first.push_back(Ask(defaults, key));
        FUZZ_CHECK(defaults->synchronize(), "the defaults could not be saved again");
    }

    NSUserDefaults::resetStandardUserDefaults();
    {
        Fuzz::Capture err(2);
        NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
        size_t i = 0;
        for (const std::string& key : keys) {
            const Answers again = Ask(defaults, key);
            FUZZ_CHECK(again == first[i], "\"%s\" reads otherwise once saved again: \"%s\", then \"%s\"",
                       Fuzz::Shown(key).c_str(), Fuzz::Shown(first[i].string).c_str(), Fuzz::Shown(again.string).c_str());
            ++i;
        }
    }
    NSUserDefaults::resetStandardUserDefaults();
    return 0;
}
