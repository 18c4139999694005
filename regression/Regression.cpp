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
        RegressionLogSection section("Close document");
        m_document->Settle();
        PersonaController::GetInstance()->RemoveDocumentController(m_document);
        DocumentControllerArchive::StopOfflining(m_document);
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
    if (!SaveAndReloadDocument()) return false;
    if (m_create) {
        CreateBaseline(false);
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
    if (m_metadata->Save(path, reason)) {
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
    m_baseline = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
    m_baseline->Load(path);
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
    m_document = LoadDocument(m_unitPath);
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
        if (!SaveDocumentCopy("test.persona", saved)) return false;
    }
    {
        RegressionLogSection section("Refcount leak test");
        m_document->Settle();
        PersonaController::GetInstance()->RemoveDocumentController(m_document);
        if (m_document->GetRefCount() != 1) RegressionLogFail(Kernel::String());
    }
    DocumentControllerArchive::StopOfflining(m_document);
    m_document.Reset();
    {
        RegressionLogSection section("Reload document");
        m_document = LoadDocument(saved);
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
    Kernel::Counted<DocumentController> copy = LoadDocument(m_savedDocumentPath);
    if (!copy) {
        RegressionLogFail(Kernel::String());
        return false;
    }
    auto item = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
    item->m_content = RegressionBaseline::Create(copy, withPostRedoRender);
    Kernel::String target = m_unitPath + "_baseline";
    if (m_hardware) target += "_hw";
    copy->Settle();
    PersonaController::GetInstance()->RemoveDocumentController(copy);
    std::string reason;
    const bool saved = item->Save(target, reason);
    if (saved) RegressionLogInfo(Kernel::String("Done"));
    else RegressionLogFail(FormatSaveFailure(target, reason));
    return saved;
}

void Regression::DeleteUnitImages() {
    // Every name a comparison of this unit can write is known, so nothing lists the unit's folder,
    // which may hold any number of other files: the unit's path, "." and a tag unless the tag is
    // empty, and the kind of image. Snapshot tags count the snapshots the baseline or the document has.
    size_t snapshots = 0;
    if (m_baseline && m_baseline->m_content) snapshots = m_baseline->m_content->GetSnapshots().size();
    if (m_document)
        snapshots = std::max(snapshots, size_t(std::max<int32_t>(0, m_document->GetSnapshotCount())));
    std::vector<Kernel::String> tags{Kernel::String(), Kernel::String("undo-redo"), Kernel::String("macro"),
                                     Kernel::String("tilestore")};
    for (size_t n = 1; n <= snapshots; ++n) tags.push_back(FormatWithInt("snapshot-%1", int32_t(n)));
    for (const Kernel::String& tag : tags) {
        Kernel::String base = m_unitPath;
        if (!tag.IsEmpty()) base += FormatWithString(".%1", tag);
        for (const char* kind : {".baseline.png", ".failure.png", ".difference.png"})
            Kernel::FileSystem::DeleteFile(base + kind);
    }
}

#include "app/UnitStatics.h"
