// The ignore-list reader, as the runner uses it: the input is a folder's "ignore.txt" (or its
// "ignore.txt", a NUL byte and its "ignore_mac.txt"), the folder holds a unit of each name the
// lists give and one they do not, and the runner's search must split those units by the lists.
#include <sys/stat.h>

#include <algorithm>
#include <set>

#include "FuzzSupport.h"
#include "regression/UnitDiscovery.h"

namespace {

std::string g_folder;

bool Holds(const std::vector<Kernel::String>& paths, const std::string& path) {
    return std::any_of(paths.begin(), paths.end(), [&](const Kernel::String& p) { return p.View() == path; });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    g_folder = Fuzz::ScratchFolder() + "/units";
    mkdir(g_folder.c_str(), 0700);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto [first, second] = Fuzz::SplitAtNul(input);
    const bool two = input.find('\0') != std::string_view::npos;
    Fuzz::WriteWholeFile(g_folder + "/ignore.txt", two ? first : second);
    if (two) Fuzz::WriteWholeFile(g_folder + "/ignore_mac.txt", second);
    else unlink((g_folder + "/ignore_mac.txt").c_str());

    const std::vector<Kernel::String> listed = LoadRegressionIgnoreLists(Kernel::String(g_folder));
    for (const Kernel::String& name : listed) {
        const std::string_view v = name.View();
        FUZZ_CHECK(!v.empty(), "an empty name is listed");
        FUZZ_CHECK(v.find('\n') == std::string_view::npos && v.find('\0') == std::string_view::npos &&
                       v.find('#') == std::string_view::npos,
                   "a listed name holds a line feed, a NUL or a comment: %s", Fuzz::Shown(v).c_str());
        FUZZ_CHECK(v.front() != ' ' && v.front() != '\t' && v.back() != ' ' && v.back() != '\t',
                   "a listed name keeps blanks around it: %s", Fuzz::Shown(v).c_str());
    }
    // A unit of each listed name that can name a file beside the lists, and one never listed.
    std::set<std::string> made;
    for (const Kernel::String& name : listed) {
        const std::string n = name.ToStd();
        if (made.size() == 16 || n == "." || n == ".." || n.size() > 200 || n.find('/') != std::string::npos) continue;
        if (n == "ignore.txt" || n == "ignore_mac.txt" || !IsUnitFile(name)) continue;
        made.insert(n);
    }
    const std::string unlisted = "zz-never-listed.kqvle";
    const bool unlistedListed =
        std::any_of(listed.begin(), listed.end(), [&](const Kernel::String& n) { return n.View() == unlisted; });
    made.insert(unlisted);
    for (const std::string& n : made) Fuzz::WriteWholeFile(g_folder + "/" + n, "");

    std::vector<Kernel::String> units, ignored;
    FindUnits(Kernel::String(g_folder), &units, &ignored);
    for (const std::string& n : made) {
        const std::string path = g_folder + "/" + n;
        const bool isListed = n != unlisted || unlistedListed;
        FUZZ_CHECK(Holds(isListed ? ignored : units, path) && !Holds(isListed ? units : ignored, path),
                   "the unit %s is %s", Fuzz::Shown(n).c_str(), isListed ? "listed but not ignored" : "ignored unlisted");
    }
    FUZZ_CHECK(units.size() + ignored.size() == made.size(), "%zu units and %zu ignored of %zu made", units.size(),
               ignored.size(), made.size());
    for (const std::string& n : made) unlink((g_folder + "/" + n).c_str());
    return 0;
}
