// The tests that render the unit or change it and render it again.
#include "DocSession/PersonaController.h"
#include "Kernel/FileSystem.h"
#include "regression/ChildOutput.h"
#include "regression/Regression.h"
#include "regression/RegressionStrings.h"

void Regression::RunDocumentCommand(Kernel::Counted<DocumentCommand> command) {
    if (!command || !m_document) return;
    if (command->IsQueued()) {
        m_document->EnqueueCommand(command);
        m_document->WaitUntilCommandQueueEmpty();
    } else {
        m_document->ExecuteCommand(command);
    }
}

void Regression::RunSnapshotComparisons() {
    std::vector<Kernel::Counted<DocumentSnapshot>> kept;
    for (int32_t i = 0; i < m_document->GetSnapshotCount(); ++i) {
        Kernel::Counted<DocumentSnapshot> snapshot = m_document->GetSnapshotAtIndex(i);
        if (RegressionBaseline::WantSnapshotForRegression(snapshot)) kept.push_back(snapshot);
    }
    const size_t baselineCount =
        m_baseline && m_baseline->m_content ? m_baseline->m_content->GetSnapshots().size() : 0;
    if (baselineCount != kept.size()) {
        RegressionLogSection section("Snapshot render comparison");
        RegressionLogInfo(FormatWithTwoStrings("Skipped: baseline has %1 snapshots, unit has %2",
                                               Kernel::ToStringT(uint64_t(baselineCount)),
                                               Kernel::ToStringT(uint64_t(kept.size()))));
        return;
    }
    const Kernel::String count = Kernel::ToStringT(uint64_t(kept.size()));
    for (size_t i = 0; i < kept.size(); ++i) {
        // The description is the document's text: cut, as any word of it in a message is.
        const Kernel::String description(Kernel::Cut(kept[i]->GetDescription().View(), Kernel::kExcerptBytes));
        RegressionLogSection section(FormatWithThreeStrings("Snapshot render comparison %1/%2 (%3)",
                                                            Kernel::ToStringT(uint64_t(i + 1)), count, description));
        // The snapshot's document is its own: memory running out in it fails this comparison
        // alone, and leaves the unit's document and renderFailed as they were.
        Kernel::Counted<RegressionRender> baselineRender;
        Guarded([&] {
            auto document = Kernel::MakeCounted<DocumentController>();
            if (!document->NewDocument(kept[i], DocumentController::NewDocParams())) return;
            document->Settle();
            Kernel::MakeCounted<RegressionRender>(document);  // an untimed first render, dropped at once
            baselineRender = GetBaselineRenderForSnapshot(int32_t(i));
            RenderCompareResult result;
            if (!TimedRenderAndCompare(baselineRender, result, FormatWithInt("snapshot-%1", int32_t(i + 1)),
                                       document))
                RegressionLogFail(FormatCompareMessage(result));
            document.Reset();
        });
        if (baselineRender) baselineRender->ReleaseSpreadBitmaps();  // compared once
    }
}

void Regression::RunRenderComparison() {
    RenderCompareResult result;
    {
        RegressionLogSection section("Render comparison");
        // A comparison that ran out of memory is a failed one; it has no render time to tell.
        Kernel::Counted<RegressionRender> baselineRender;
        const bool ended = Guarded([&] {
            Kernel::MakeCounted<RegressionRender>(m_document);  // an untimed first render, dropped at once
            baselineRender = GetBaselineRenderForSnapshot(-1);
            Kernel::Counted<DocumentController> document = m_document;
            if (!TimedRenderAndCompare(baselineRender, result, Kernel::String(), document)) {
                RegressionLogFail(FormatCompareMessage(result));
                m_renderFailed = true;
            }
        });
        if (!ended) m_renderFailed = true;
        // Kept for the comparisons after changes, unless they have a render of their own or none follow.
        if (baselineRender && (m_renderFailed || m_baseline->m_content->GetPostRedoRender()))
            baselineRender->ReleaseSpreadBitmaps();
        if (ended && m_rendertimes) RegressionLogInfo(FormatWithUInt64("Render time: %1 ms", result.renderTime));
    }
    if (!m_renderFailed) {
        RegressionLogSection section("Render performance");
        Guarded([&] {
            Kernel::String key("render performance");
            if (m_hardware) key += " (hardware)";
            CheckRenderPerformance(key, result.renderTime);
        });
    }
}

bool Regression::RunPostChangeComparison(const char* sectionName, const char* tag) {
    RegressionLogSection section((Kernel::String(sectionName)));
    bool passed = false;
    const bool ended = Guarded([&] {
        Kernel::Counted<RegressionRender> baselineRender = GetPostRedoBaselineRender();
        RenderCompareResult result;
        Kernel::Counted<DocumentController> document = m_document;
        passed = TimedRenderAndCompare(baselineRender, result, Kernel::String(tag), document);
        if (!passed) RegressionLogFail(FormatCompareMessage(result));
    });
    if (ended && passed) return true;
    m_renderFailed = true;  // a comparison that ran out of memory is a failed one
    return false;
}

bool Regression::RunDocumentTest(const Kernel::Counted<DocumentCommand>& command) {
    if (Guarded([&] { RunDocumentCommand(command); })) return true;
    m_renderFailed = true;  // the document may be half-changed: no later comparison judges it
    return false;
}

bool Regression::RunUndoRedoTest() {
    DocumentHistory history = m_document->GetDocumentHistory();
    if (history.GetSize() == 0) return true;
    const int32_t position = history.GetUndoPosition();
    auto undo = Kernel::MakeCounted<SetHistoryIndexCommand>(-1);
    auto redo = Kernel::MakeCounted<SetHistoryIndexCommand>(position - 1);
    {
        RegressionLogSection section("Undo test");
        RunDocumentTest(undo);
    }
    {
        RegressionLogSection section("Redo test");
        CommandCoverage::Session session;
        // The commands that ran are told also when the redo ran out of memory part way.
        RunDocumentTest(redo);
        Guarded([&] {
            const CommandCoverage& registry = CommandCoverage::Instance();
            for (const auto& [identifier, times] : session.GetRecordedCommands())
                RegressionLogCommand(identifier, registry._FindCommandName(identifier));
        });
    }
    if (m_renderFailed) return true;
    return RunPostChangeComparison("Post-undo-redo render comparison", "undo-redo");
}

void Regression::RunMacroTest() {
    Kernel::Counted<Macro> macro = m_document->GetMacro();
    if (!macro || macro->GetRawCommands().empty()) return;
    {
        RegressionLogSection section("Macro test");
        if (RunDocumentTest(Kernel::MakeCounted<SetHistoryIndexCommand>(-1)))
            RunDocumentTest(Kernel::MakeCounted<ReplayMacroCommand>(Kernel::Counted<Macro>(), 0, 0));
    }
    if (!m_renderFailed) RunPostChangeComparison("Post-macro-playback render comparison", "macro");
}

void Regression::RunTilestoreTest() {
    // Outside any test; memory running out in it is the failure of a test of its own.
    if (!Guarded([&] { RunDocumentCommand(Kernel::MakeCounted<DeduplicateTilestoreCommand>()); },
                 "Tilestore optimisation"))
        m_renderFailed = true;
    if (!m_renderFailed) RunPostChangeComparison("Tilestore optimisation comparison", "tilestore");
    // The last comparison: nothing of the baseline is needed after it.
    if (m_baseline && m_baseline->m_content) {
        const RegressionBaseline& content = *m_baseline->m_content;
        for (const RegressionRender* render : {content.GetRender().Get(), content.GetPostRedoRender().Get()})
            if (render) render->ReleaseSpreadBitmaps();
    }
}

void Regression::RunTeardownTest() {
    if (m_document->GetDocumentHistory().GetSize() == 0) return;
    {
        RegressionLogSection section("Teardown test");
        PersonaController::GetInstance()->SetStackLimit(0);
        if (!Guarded([&] { m_document->GetDocumentHistory().EnforceStackLimit(); })) m_renderFailed = true;
    }
    {
        RegressionLogSection section("Post-teardown save test");
        Kernel::String path;
        Guarded([&] { SaveDocumentCopy("post_teardown_test.persona", path); });
    }
}

#include "app/UnitStatics.h"
