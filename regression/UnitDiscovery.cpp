#include "regression/UnitDiscovery.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"
#include "regression/RegressionStrings.h"

namespace {
using Traits = Kernel::BaseCharTraits<char>;

struct EngineLess {
    bool operator()(const Kernel::String& a, const Kernel::String& b) const {
        return Traits::Compare(a.GetBuffer(), a.GetLength(), b.GetBuffer(), b.GetLength()) < 0;
    }
};

const std::set<Kernel::String, EngineLess>& UnitFileExtensions() {
    static const std::set<Kernel::String, EngineLess> extensions = {
        ".kdrovane", ".kestrane_drovanel", ".kestrane_tavik", ".ktavika", ".persona", ".kqvle",
    };
    return extensions;
}

bool IsListed(const std::vector<Kernel::String>& sortedNames, const Kernel::String& name) {
    auto it = std::lower_bound(sortedNames.begin(), sortedNames.end(), name, EngineLess());
    return it != sortedNames.end() &&
           Traits::IsEqual(it->GetBuffer(), it->GetLength(), name.GetBuffer(), name.GetLength());
}
}  // namespace

Kernel::String GetFileExtension(const Kernel::String& path, bool withDot) {
    std::string_view v = path.View();
    for (size_t i = v.size(); i-- > 0;) {
        if (v[i] == '/') return Kernel::String();
        if (v[i] == '.') {
            if (i == 0) return Kernel::String();
            return Kernel::String(v.substr(withDot ? i : i + 1));
        }
    }
    return Kernel::String();
}

bool IsUnitFile(const Kernel::String& path) {
    // Judged on the name alone, so "dir/.kqvle" is a hidden file like ".kqvle".
    std::string_view v = path.View();
    size_t slash = v.rfind('/');
    Kernel::String name = slash == std::string_view::npos ? path : Kernel::String(v.substr(slash + 1));
    return UnitFileExtensions().count(GetFileExtension(name, true)) != 0;
}

void TrimString(Kernel::String& text) {
    size_t end = Traits::TrimRight(text.GetBuffer(), text.GetLength());
    size_t begin = Traits::TrimLeft(text.GetBuffer(), end);
    if (begin == 0 && end == text.GetLength()) return;
    text = Kernel::String(text.GetBuffer() + begin, end - begin);
}

void ReadIgnoreListFile(std::vector<Kernel::String>& list, const Kernel::String& path) {
    // File names of one folder, one a line: a list of this size names more files than any folder holds.
    constexpr uint64_t kIgnoreListLimit = 16 * Kernel::kMebibyte;
    std::string text;
    if (!ReadOptionalFile("Ignore list", path, kIgnoreListLimit, text)) return;
    for (std::string_view line : SplitFileLines(text)) {
        Kernel::String name(line.substr(0, line.find('#')));
        TrimString(name);
        if (!name.IsEmpty()) list.push_back(name);
    }
}

std::vector<Kernel::String> LoadRegressionIgnoreLists(const Kernel::String& directory) {
    std::vector<Kernel::String> list;
    for (const char* fileName : {"ignore.txt", "ignore_mac.txt"}) {
        Kernel::String path = directory;
        AppendPathComponent(path, fileName);
        ReadIgnoreListFile(list, path);
    }
    std::sort(list.begin(), list.end(), EngineLess());
    return list;
}

void FindUnits(const Kernel::String& directory, std::vector<Kernel::String>* units,
               std::vector<Kernel::String>* ignored) {
    std::vector<Kernel::String> ignoreList = LoadRegressionIgnoreLists(directory);
    Kernel::Counted<Kernel::FileEnumerator> listing = Kernel::FileEnumerator::Create(directory, false);
    if (!listing || !listing->IsValid()) return;
    using Kind = Kernel::FileEnumerator::Kind;

    for (const auto& entry : listing->Entries()) {
        if (entry.kind != Kind::File || !IsUnitFile(entry.name)) continue;
        Kernel::String path = directory;
        AppendPathComponent(path, entry.name);
        std::vector<Kernel::String>* target = IsListed(ignoreList, entry.name) ? ignored : units;
        if (target) target->push_back(path);
    }
    // Links to directories are listed as other entries and never walked, so a
    // link back up the tree cannot send the walk round forever.
    for (const auto& entry : listing->Entries()) {
        if (entry.kind != Kind::Directory) continue;
        Kernel::String path = directory;
        AppendPathComponent(path, entry.name);
        FindUnits(path, units, ignored);
    }
}

#include "app/UnitStatics.h"
