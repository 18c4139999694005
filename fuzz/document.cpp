// The unit document reader. Input: the document's text, or a folder, a NUL byte and the text
// (the folder a relative profile is taken from; "/units" when none is given). A document that
// reads must give a saved copy that reads back, from anywhere, as the same document.
#include <cstring>

#include "DocSession/DocumentModel.h"
#include "FuzzSupport.h"

namespace {

using namespace DocEngine;

bool SameNumbers(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool SameCommand(const DrawCommand& a, const DrawCommand& b) {
    return a.kind == b.kind && a.spread == b.spread && a.x == b.x && a.y == b.y && a.width == b.width &&
           a.height == b.height && a.vertical == b.vertical && SameNumbers(a.from, b.from) && SameNumbers(a.to, b.to) &&
           a.seed == b.seed && std::memcmp(&a.amount, &b.amount, sizeof(double)) == 0;
}

void CheckSameCommands(const char* block, const CommandList& a, const CommandList& b) {
    FUZZ_CHECK(a.size() == b.size(), "%s: %zu commands read, %zu read back", block, a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        FUZZ_CHECK(SameCommand(*a[i], *b[i]), "%s command %zu: \"%s\" read back as \"%s\"", block, i,
                   Fuzz::Shown(a[i]->ToText()).c_str(), Fuzz::Shown(b[i]->ToText()).c_str());
}

void CheckSame(const DocumentSpec& a, const DocumentSpec& b) {
    FUZZ_CHECK(a.format == b.format, "the format %s read back as %s", a.format ? a.format->name : "none",
               b.format ? b.format->name : "none");
    FUZZ_CHECK(a.profile == b.profile, "the profile \"%s\" read back as \"%s\"", Fuzz::Shown(a.profile).c_str(),
               Fuzz::Shown(b.profile).c_str());
    FUZZ_CHECK(a.spreads == b.spreads, "%zu spreads read back as %zu or of other sizes", a.spreads.size(),
               b.spreads.size());
    FUZZ_CHECK(a.position == b.position, "position %zu read back as %zu", a.position, b.position);
    CheckSameCommands("base", a.base, b.base);
    CheckSameCommands("history", a.history, b.history);
    CheckSameCommands("macro", a.macro, b.macro);
    FUZZ_CHECK(a.snapshots.size() == b.snapshots.size(), "%zu snapshots read back as %zu", a.snapshots.size(),
               b.snapshots.size());
    for (size_t i = 0; i < a.snapshots.size(); ++i) {
        FUZZ_CHECK(a.snapshots[i].description == b.snapshots[i].description,
                   "snapshot %zu's description \"%s\" read back as \"%s\"", i,
                   Fuzz::Shown(a.snapshots[i].description).c_str(), Fuzz::Shown(b.snapshots[i].description).c_str());
        FUZZ_CHECK(a.snapshots[i].wanted == b.snapshots[i].wanted, "snapshot %zu changed its mark", i);
        CheckSameCommands("snapshot", a.snapshots[i].commands, b.snapshots[i].commands);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [folderPart, text] = Fuzz::SplitAtNul({reinterpret_cast<const char*>(data), size});
    std::string folder = folderPart.empty() ? std::string("/units") : std::string(folderPart);
    if (folder.front() != '/') folder.insert(folder.begin(), '/');

    DocumentSpec spec;
    ParseError error;
    if (!ParseDocument(text, folder, spec, error)) {
        size_t lines = 1;
        for (char c : text) lines += c == '\n';
        FUZZ_CHECK(!error.message.empty(), "a refused document has no reason");
        FUZZ_CHECK(error.line >= 1 && size_t(error.line) <= lines, "the reason names line %d of %zu", error.line, lines);
        // Words are quoted back cut short (128 bytes, each shown in at most four characters), so
        // a reason stays a line long whatever the input holds.
        FUZZ_CHECK(error.message.size() <= 1024, "a reason of %zu bytes: %s", error.message.size(),
                   Fuzz::Shown(error.message).c_str());
        return 0;
    }
    FUZZ_CHECK(spec.format, "a document read without a format");
    FUZZ_CHECK(spec.position <= spec.history.size(), "position %zu beyond %zu entries", spec.position,
               spec.history.size());

    const std::string copy = WriteDocument(spec);
    DocumentSpec reread;
    ParseError rereadError;
    // The copy is read from another folder, as a unit's saved copy is.
    FUZZ_CHECK(ParseDocument(copy, "/elsewhere/copies", reread, rereadError),
               "the saved copy does not read back: line %d: %s\ncopy: %s", rereadError.line,
               Fuzz::Shown(rereadError.message).c_str(), Fuzz::Shown(copy, 2000).c_str());
    CheckSame(spec, reread);
    const std::string again = WriteDocument(reread);
    FUZZ_CHECK(again == copy, "saving the copy again gives other text:\n%s\n%s", Fuzz::Shown(copy, 2000).c_str(),
               Fuzz::Shown(again, 2000).c_str());
    return 0;
}
