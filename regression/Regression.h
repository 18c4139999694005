// One unit's test sequence inside the unit executor: baseline, load, save and reload,
// reference count, the render and history tests, metrics, baseline creation and update.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "DocSession/DocumentEngine.h"
#include "DocSession/RegressionStore.h"
#include "Kernel/AssertTrap.h"
#include "Kernel/String.h"
#include "Raster/Bitmap.h"
#include "regression/ChildOutput.h"

// The outcome of one render comparison.
struct RenderCompareResult {
    bool spreadCountMismatch = false;
    int32_t spread = -1;               // the first spread that failed
    int32_t maxChannelDifference = 0;
    int32_t differingPixels = 0;
    int32_t bitsPerChannel = 0;
    uint64_t renderTime = 0;           // milliseconds
    std::string baselineError{};       // why the failed spread's baseline could not be read
};

class Regression : public Kernel::AssertTrap {
public:
    Regression(const Kernel::String& unitPath, bool update, bool create, bool nodump, bool rendertimes, bool hardware);
    ~Regression() override;

    bool Run();

    // Engine assertions: a failure of the open test, or a plain line while none is open.
    void HandleAssert(const char* file, const char* expression, uint32_t line) override;
    static Kernel::String FormatAssertMessage(const char* file, uint32_t line, const char* expression);
    static Kernel::String FormatCompareMessage(const RenderCompareResult& result);
    static Kernel::String FormatSaveFailure(const Kernel::String& path, const std::string& reason);
    // Whether a file of the unit's folder is one of the unit's images (unitName: its file name).
    static bool IsUnitImageName(std::string_view unitName, std::string_view name);

protected:
    // The sequence itself; Run reports memory that ran out outside any test.
    bool RunSequence();

    // Runs a step of the open test (when none is open, of a test named section, opened for the
    // failure alone): memory running out in it, on any thread, is that test's failure, a
    // "[FAIL]" line "out of memory: <what was being allocated>". False then. After memory ran
    // out in a test of the unit's document, the document may be half-changed: such a test
    // also sets m_renderFailed, so that no later comparison judges it.
    template <class Step>
    bool Guarded(Step&& step, const char* section = kSequenceSection) {
        if (RunReportingOutOfMemory(section, std::forward<Step>(step))) return true;
        m_ranOutOfMemory = true;
        return false;
    }
    static constexpr const char kSequenceSection[] = "Unit test sequence";

    // The sequence's steps.
    Kernel::String FindBaselinePath() const;
    bool LoadBaseline(const Kernel::String& path);
    void LoadMetadata(const Kernel::String& path);
    Kernel::Counted<DocumentController> LoadDocument(const Kernel::String& path);
    bool LoadUnit();
    bool SaveAndReloadDocument();
    // Saves the document as name in the process's own temporary folder, setting path; a
    // failure is a "[FAIL]" line of the open test naming the path and the reason.
    bool SaveDocumentCopy(const char* name, Kernel::String& path);
    bool SaveMetadata(const Kernel::String& path);
    bool CreateBaseline(bool withPostRedoRender);
    void DeleteUnitImages();

    // Render and history tests.
    void RunDocumentCommand(Kernel::Counted<DocumentCommand> command);
    void RunSnapshotComparisons();
    void RunRenderComparison();
    bool RunUndoRedoTest();
    void RunMacroTest();
    void RunTilestoreTest();
    void RunTeardownTest();
    // A test's command on the unit's document; false when it ran out of memory (Guarded).
    bool RunDocumentTest(const Kernel::Counted<DocumentCommand>& command);
    // A comparison after the document was changed, against the post-change baseline render.
    bool RunPostChangeComparison(const char* section, const char* tag);

    // Render comparison and failure images.
    bool TimedRenderAndCompare(const Kernel::Counted<RegressionRender>& baselineRender, RenderCompareResult& result,
                               const Kernel::String& tag, Kernel::Counted<DocumentController>& document);
    // Spread `spread` of the render against the baseline's; the baseline spread is decompressed
    // only to be compared, or for the images of a failed spread.
    bool CompareRenderWithBaseline(const Raster::DynamicBitmap& current, const RegressionRender& baselineRender,
                                   size_t spread, RenderCompareResult& result, const Kernel::String& tag,
                                   const Kernel::Counted<DocumentController>& document);
    Kernel::Counted<RegressionRender> GetBaselineRenderForSnapshot(int32_t index) const;
    Kernel::Counted<RegressionRender> GetPostRedoBaselineRender() const;

    // Metrics.
    void CheckRenderPerformance(const Kernel::String& key, uint64_t milliseconds);
    void CheckRasterMemoryUsage();

    bool m_renderFailed = false;
    bool m_ranOutOfMemory = false;  // some test of this unit ran out of memory
    bool m_comparisonFailed = false;
    bool m_update;
    bool m_create;
    bool m_metadataDirty = false;
    bool m_nodump;
    bool m_rendertimes;
    bool m_hardware;
    Kernel::String m_unitPath;
    Kernel::String m_savedDocumentPath;
    Kernel::Counted<DocumentController> m_document;
    Kernel::Counted<RegressionBaselineFileStoreItem> m_baseline;
    Kernel::Counted<RegressionMetadataFileStoreItem> m_metadata;
};
