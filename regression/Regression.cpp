// The unit test sequence.
#include "regression/Regression.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "DocSession/PersonaController.h"
#include "Kernel/FileSystem.h"
#include "Raster/Bitmap.h"
#include "regression/ChildOutput.h"
#include "regression/RegressionStrings.h"

Regression::Regression(const Kernel::String& unitPath, bool update, bool create, bool nodump, bool rendertimes,
                       bool hardware)
    : m_update(update),
      m_create(create),
      m_nodump(nodump),
      m_rendertimes(rendertimes),
      m_hardware(hardware),
      m_unitPath(unitPath) {}

Regression::~Regression() {
    if (m_document) {
        // A destructor throws nothing: memory running out here is this test's failure.
        RunReportingOutOfMemory("Close document", [&] {
            RegressionLogSection section("Close document");
            Guarded([&] {
                m_document->Settle();
                PersonaController::GetInstance()->RemoveDocumentController(m_document);
                DocumentControllerArchive::StopOfflining(m_document);
            });
        });
        m_document.Reset();
    }
    m_metadata.Reset();
    m_baseline.Reset();
}

Kernel::String Regression::FormatAssertMessage(const char* file, uint32_t line, const char* expression) {
    return FormatWithThreeStrings("Assert: %1:%2 (%3)", Kernel::String(file ? file : ""),
                                  Kernel::ToStringT(int64_t(int32_t(line))), Kernel::String(expression ? expression : ""));
}

void Regression::HandleAssert(const char* file, const char* expression, uint32_t line) {
    Kernel::String text = FormatAssertMessage(file, line, expression);
    if (!CurrentRegressionLogSection) {
        std::string out(text.View());
        out.push_back('\n');
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
        return;
    }
    RegressionLogFail(text);
}

bool Regression::Run() {
    // Memory running out outside any test (between tests, or while a test is opened) ends the
    // unit, as a failure of a test of its own.
    bool passed = false;
    return Guarded([&] { passed = RunSequence(); }) && passed;
}

bool Regression::RunSequence() {
    if (m_hardware) {
        RegressionLogSection section("GPU Check");
        if (!Raster::Hardware<Raster::DefaultImplementation>::GetHardwarePossible()) {
            RegressionLogFail(Kernel::String());
            return false;
        }
    }
    const Kernel::String metadataPath = m_unitPath + "_baseline.metadata";
    Kernel::String path = FindBaselinePath();
    if (m_create) {
        if (!path.IsEmpty()) return true;  // this unit has its baseline: nothing to create
    } else {
        {
            RegressionLogSection section("Find Baseline");
            if (path.IsEmpty()) {
                RegressionLogFail(Kernel::String());
                return false;
            }
        }
        if (!LoadBaseline(path)) return false;
    }
    if (!m_nodump) DeleteUnitImages();
    LoadMetadata(metadataPath);
    if (!LoadUnit()) return false;
    // The pixels the render comparison compares with first are made meanwhile, beside the save,
    // the reload and the render; with snapshots to compare before, they would only be held longer.
    if (m_baseline && m_baseline->m_content && m_baseline->m_content->GetSnapshots().empty())
        if (const Kernel::Counted<RegressionRender> baselineRender = GetBaselineRenderForSnapshot(-1))
            baselineRender->PrefetchFirstSpread(m_document);
    if (!SaveAndReloadDocument()) return false;
    if (m_create) {
        const bool ranOutBefore = m_ranOutOfMemory;
        CreateBaseline(false);
        if (m_ranOutOfMemory && !ranOutBefore) return false;  // no baseline was made: that failure ends the run
        path = FindBaselinePath();
        if (!LoadBaseline(path)) return false;
    }

    RunSnapshotComparisons();
    RunRenderComparison();
    const bool undoRedoPassed = RunUndoRedoTest();
    if (m_update && m_comparisonFailed) CreateBaseline(!undoRedoPassed);
    RunMacroTest();
    RunTilestoreTest();
    RunTeardownTest();
    CheckRasterMemoryUsage();
    if (m_nodump && !m_comparisonFailed) DeleteUnitImages();

    if (FailureReported) return false;
    if (m_metadataDirty) return SaveMetadata(metadataPath);
    return true;
}

bool Regression::SaveMetadata(const Kernel::String& path) {
    RegressionLogSection section("Save metadata");
    std::string reason;
    bool saved = false;
    if (!Guarded([&] { saved = m_metadata->Save(path, reason); })) return false;
    if (saved) {
        RegressionLogInfo(Kernel::String("Done"));
        return true;
    }
    RegressionLogFail(FormatSaveFailure(path, reason));
    return false;
}

Kernel::String Regression::FormatSaveFailure(const Kernel::String& path, const std::string& reason) {
    return FormatWithTwoStrings("Could not save %1: %2", path, Kernel::String(reason));
}

Kernel::String Regression::FindBaselinePath() const {
    Kernel::String baseline = m_unitPath + "_baseline";
    if (m_hardware) {
        Kernel::String hardware = baseline + "_hw";
        if (Kernel::FileSystem::IsFile(hardware)) return hardware;
    }
    return Kernel::FileSystem::IsFile(baseline) ? baseline : Kernel::String();
}

bool Regression::LoadBaseline(const Kernel::String& path) {
    RegressionLogSection section("Load baseline");
    if (!Guarded([&] {
            m_baseline = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
            m_baseline->Load(path);
        })) {
        m_baseline.Reset();  // whatever was inflated goes now
        return false;
    }
    if (!m_baseline->m_content) {
        // The engine's reason goes to standard error; the protocol line stays the empty failure.
        if (!m_baseline->GetLoadError().empty())
            std::fprintf(stderr, "Baseline '%s': %s\n", Kernel::EscapeForMessage(path.View()).c_str(),
                         Kernel::EscapeForMessage(m_baseline->GetLoadError()).c_str());
        RegressionLogFail(Kernel::String());
        return false;
    }
    PersonaController::GetInstance()->m_perfectClipping = m_baseline->m_content->GetPerfectClipping();
    return true;
}

void Regression::LoadMetadata(const Kernel::String& path) {
    m_metadata = Kernel::MakeCounted<RegressionMetadataFileStoreItem>();
    m_metadata->Load(path);
    if (!m_metadata->GetLoadError().empty()) {
        // A damaged metric file is reported, not replaced: with no content the metric checks
        // are skipped, and the failure keeps the file from being saved over.
        RegressionLogSection section("Load metadata");
        RegressionLogFail(FormatWithTwoStrings("Metric file %1 is damaged: %2", path,
                                               Kernel::String(m_metadata->GetLoadError())));
        return;
    }
    if (!m_metadata->m_content) m_metadata->m_content = Kernel::MakeCounted<RegressionMetadata>();
}

Kernel::Counted<DocumentController> Regression::LoadDocument(const Kernel::String& path) {
    auto command = Kernel::MakeCounted<LoadDocumentCommand>(path, false, 1, false,
                                                            PersonaController::GetInstance()->GetLoadRAWLinear(),
                                                            Kernel::Counted<LoadDocumentOptions>());
    command->m_addToRecentDocuments = false;
    command->Execute();
    return command->m_documentController;
}

bool Regression::LoadUnit() {
    RegressionLogSection section("Load unit");
    if (!Guarded([&] { m_document = LoadDocument(m_unitPath); })) return false;
    if (!m_document) {
        RegressionLogFail(Kernel::String());
        return false;
    }
    return true;
}

bool Regression::SaveDocumentCopy(const char* name, Kernel::String& path) {
    RegressionBaselineFileStoreItem::s_saveBaselines = false;
    // The folder is this process's own, so nobody else's copy can stand in for this one.
    path = Kernel::FileSystem::GetTemporaryDirectory();
    if (path.IsEmpty()) {
        RegressionLogFail(FormatSaveFailure(Kernel::String(name), Kernel::FileSystem::GetTemporaryDirectoryError()));
        return false;
    }
    AppendPathComponent(path, name);
    auto save = Kernel::MakeCounted<SaveDocumentAsCommand>(path, false, false);
    save->m_becomesDocumentPath = false;
    RunDocumentCommand(save);
    if (save->Succeeded()) return true;
    RegressionLogFail(FormatSaveFailure(path, save->GetError()));
    return false;
}

bool Regression::SaveAndReloadDocument() {
    Kernel::String saved;
    {
        // A copy that was not written is never reloaded: the run ends here.
        RegressionLogSection section("Save document");
        bool written = false;
        Guarded([&] { written = SaveDocumentCopy("test.persona", saved); });
        if (!written) return false;
    }
    {
        RegressionLogSection section("Refcount leak test");
        Guarded([&] {
            m_document->Settle();
            PersonaController::GetInstance()->RemoveDocumentController(m_document);
            if (m_document->GetRefCount() != 1) RegressionLogFail(Kernel::String());
        });
    }
    DocumentControllerArchive::StopOfflining(m_document);
    m_document.Reset();
    {
        RegressionLogSection section("Reload document");
        if (!Guarded([&] { m_document = LoadDocument(saved); })) return false;
        if (!m_document) {
            RegressionLogFail(Kernel::String());
            return false;
        }
    }
    m_savedDocumentPath = saved;
    return true;
}

bool Regression::CreateBaseline(bool withPostRedoRender) {
    RegressionLogSection section("Create baseline");
    Kernel::Counted<DocumentController> copy;
    bool saved = false;
    const bool ended = Guarded([&] {
        copy = LoadDocument(m_savedDocumentPath);
        if (!copy) {
            RegressionLogFail(Kernel::String());
            return;
        }
        auto item = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
        item->m_content = RegressionBaseline::Create(copy, withPostRedoRender);
        Kernel::String target = m_unitPath + "_baseline";
        if (m_hardware) target += "_hw";
        copy->Settle();
        PersonaController::GetInstance()->RemoveDocumentController(copy);
        std::string reason;
        saved = item->Save(target, reason);
        if (saved) RegressionLogInfo(Kernel::String("Done"));
        else RegressionLogFail(FormatSaveFailure(target, reason));
    });
    // A copy whose baseline ran out of memory leaves the persona controller all the same, so
    // that its pixels are gone before the memory-leak test.
    if (!ended && copy) Guarded([&] { PersonaController::GetInstance()->RemoveDocumentController(copy); });
    return saved;
}

bool Regression::IsUnitImageName(std::string_view unitName, std::string_view name) {
    // "<unit>.", an optional tag and ".", then the kind: images of a unit whose name merely begins
    // with this one's ("a.kqvle.v2.kqvle") are not this unit's.
    if (unitName.empty() || !name.starts_with(unitName) || name.substr(unitName.size(), 1) != ".") return false;
    std::string_view rest = name.substr(unitName.size() + 1);
    bool tagged = false;
    for (std::string_view tag : {"undo-redo.", "macro.", "tilestore."})
        if (!tagged && rest.starts_with(tag)) {
            rest.remove_prefix(tag.size());
            tagged = true;
        }
    if (!tagged && rest.starts_with("snapshot-") && rest.size() > 9 && rest[9] >= '1' && rest[9] <= '9') {
        size_t end = 10;
        while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9') ++end;
        if (rest.substr(end, 1) == ".") rest.remove_prefix(end + 1);
    }
    return rest == "baseline.png" || rest == "failure.png" || rest == "difference.png";
}

void Regression::DeleteUnitImages() {
    const std::string_view unit = m_unitPath.View();
    const size_t slash = unit.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? unit : unit.substr(slash + 1);
    const Kernel::String folder(slash == std::string_view::npos || slash == 0 ? std::string_view(slash == 0 ? "/" : ".")
                                                                               : unit.substr(0, slash));
    Kernel::FileSystem::DeleteFilesNamed(folder, [name](std::string_view entry) { return IsUnitImageName(name, entry); });
}

#include "app/UnitStatics.h"
