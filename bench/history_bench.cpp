// Time of the teardown of a long document history: the stand-in engine trims the history to a
// stack limit of 0, so that every entry in effect becomes base content, as the regression
// executor's "Teardown test" asks. The time should grow in step with the number of entries.
//
// Usage: history_bench [largest]   (default 400000 entries; halved down to a sixteenth)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "DocSession/DocumentEngine.h"
#include "DocSession/PersonaController.h"
#include "Kernel/FileSystem.h"
#include "Kernel/Timer.h"

namespace {

// A document of one small spread whose history holds n one-pixel fills, all in effect.
std::string LongHistory(int n) {
    std::string text = "quirevale-document 1\nformat ia8\nspread 16 16\nhistory\n";
    text.reserve(size_t(n) * 32 + 64);
    for (int k = 0; k < n; ++k)
        text += "  fill 0 " + std::to_string(k % 16) + " " + std::to_string(k / 16 % 16) + " 1 1 0.5 1\n";
    return text + "end\n";
}

}  // namespace

int main(int argc, char** argv) {
    const int largest = argc > 1 ? std::atoi(argv[1]) : 400000;
    if (largest < 16) {
        std::fprintf(stderr, "usage: history_bench [largest number of entries, 16 or more]\n");
        return 1;
    }
    const std::string folder = Kernel::FileSystem::GetTemporaryDirectory().ToStd();
    if (folder.empty()) {
        std::fprintf(stderr, "%s\n", Kernel::FileSystem::GetTemporaryDirectoryError().c_str());
        return 1;
    }
    std::printf("%10s %12s %14s\n", "entries", "teardown s", "ns per entry");
    for (int n = largest / 16; n <= largest; n *= 2) {
        const std::string path = folder + "/history.kqvle";
        if (!Kernel::FileSystem::WriteFileAtomically(Kernel::Path(path), LongHistory(n))) return 1;
        LoadDocumentCommand load(Kernel::Path(path), false, 1, false, false, {});
        load.Execute();
        if (!load.m_documentController) {
            std::fprintf(stderr, "%s\n", load.GetError().c_str());
            return 1;
        }
        PersonaController* persona = PersonaController::GetInstance();
        persona->SetStackLimit(0);
        Kernel::Timer timer;
        load.m_documentController->GetDocumentHistory().EnforceStackLimit();
        const double seconds = timer.GetElapsedSeconds();
        persona->SetStackLimit(-1);
        if (load.m_documentController->GetDocumentHistory().GetSize() != 0) return 1;
        persona->RemoveDocumentController(load.m_documentController);
        std::printf("%10d %12.4f %14.1f\n", n, seconds, seconds * 1e9 / n);
    }
    return 0;
}
