// The headless event reader: the input is the application's standard input, and the whole
// application runs on it from start-up to the end of the input, in a home folder of its own.
// It must end normally, every message on standard error stays a line long (a word quoted back
// is cut short), and no line of either output holds a byte that could act on a terminal.
#include <sys/stat.h>

#include <sstream>

#include "AppKit/AppKit.h"
#include "FuzzSupport.h"
#include "UIFramework/Application.h"

namespace {
std::string g_defaults;  // the preferences file of the home folder
// Two quoted words of 128 bytes, each byte shown in at most four characters, and the text
// around them.
constexpr size_t kLongestMessage = 1536;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    const std::string home = Fuzz::ScratchFolder() + "/home";
    mkdir(home.c_str(), 0700);
    setenv("HOME", home.c_str(), 1);
    g_defaults = home + "/.quirevale/defaults";
    NSBundle::setMainBundlePath(QV_BUNDLE);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every input starts from a fresh application with no preferences.
    unlink(g_defaults.c_str());
    ResetStandIns();
    NSUserDefaults::resetStandardUserDefaults();

    std::istringstream events(std::string(reinterpret_cast<const char*>(data), size));
    std::streambuf* keyboard = std::cin.rdbuf(events.rdbuf());
    int status;
    std::string printed, errors;
    {
        Fuzz::Capture out(1), err(2);
        status = NSApplicationMain(0, nullptr);
        printed = out.Stop();
        errors = err.Stop();
    }
    std::cin.rdbuf(keyboard);
    std::cin.clear();
    ResetStandIns();

    FUZZ_CHECK(status == 0, "the application ended with %d", status);
    for (std::string_view line : Fuzz::PhysicalLines(errors))
        FUZZ_CHECK(line.size() <= kLongestMessage, "a message of %zu bytes on standard error: %s", line.size(),
                   Fuzz::Shown(line).c_str());
    for (const std::string& text : {printed, errors})
        for (std::string_view line : Fuzz::PhysicalLines(text))
            FUZZ_CHECK(Fuzz::FirstUnshownByte(line) == std::string_view::npos,
                       "a line with a byte that could act on a terminal: %s", Fuzz::Shown(line).c_str());
    return 0;
}
