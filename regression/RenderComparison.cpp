// Render comparison with a baseline and the failure images of a failed spread.
#include <algorithm>
#include <cstdio>
#include <string>

#include "DocSession/PersonaController.h"
#include "Kernel/Timer.h"
#include "Raster/ICCManager.h"
#include "bitmapcheck/BitmapKernels.h"
#include "regression/ChildOutput.h"
#include "regression/FailureImages.h"
#include "regression/Regression.h"
#include "regression/RegressionStrings.h"

bool Regression::TimedRenderAndCompare(const Kernel::Counted<RegressionRender>& baselineRender,
                                       RenderCompareResult& result, const Kernel::String& tag,
                                       Kernel::Counted<DocumentController>& document) {
    if (!document) document = m_document;
    Kernel::Timer timer;
    auto render = Kernel::MakeCounted<RegressionRender>(document);
    const double milliseconds = std::max(timer.GetMilliseconds(), 1.0);
    result.renderTime = uint64_t(milliseconds);
    if (!baselineRender) return true;
    if (render->GetSpreadCount() != baselineRender->GetSpreadCount()) {
        result.spreadCountMismatch = true;
        m_comparisonFailed = true;
        return false;
    }
    for (size_t i = 0; i < render->GetSpreadCount(); ++i) {
        if (!CompareRenderWithBaseline(render->GetSpreadBitmap(i), *baselineRender, i, result, tag, document)) {
            result.spread = int32_t(i);
            return false;
        }
    }
    return true;
}

bool Regression::CompareRenderWithBaseline(const Raster::DynamicBitmap& current, const RegressionRender& baselineRender,
                                           size_t spread, RenderCompareResult& result, const Kernel::String& tag,
                                           const Kernel::Counted<DocumentController>& document) {
    Raster::Format format;
    int width, height;
    if (!baselineRender.GetSpreadShape(spread, format, width, height)) return true;  // no baseline bitmap
    const bool comparable =
        current.GetHeight() == height && current.GetFormat() == format && current.GetWidth() == width;
    const uint32_t bits = BitsPerChannelForFormat(document ? document->GetFormat() : Raster::kFormatNone);
    Raster::DynamicBitmap baseline;
    if (comparable) {
        std::string error;
        baseline = baselineRender.GetSpreadBitmap(spread, &error);
        if (!baseline) {
            // A baseline that cannot be read back fails as such: there is nothing to compare with.
            result.baselineError = error;
            m_comparisonFailed = true;
            return false;
        }
        CompareParams compare;
        CompareBitmapsDispatch(current, baseline, &compare);
        if (compare.m_differingPixels == 0) return true;
        result.maxChannelDifference = compare.m_maxChannelDifference;
        result.differingPixels = compare.m_differingPixels;
        result.bitsPerChannel = int32_t(bits);
    }

    if (!m_nodump && !m_update) {
        // Images that ran out of memory are a failure of their own; the comparison failed all the
        // same. A spread of another size or format is decompressed for its image alone, and let go
        // after it, however large the baseline made it.
        Guarded([&] {
            std::string error;
            if (!comparable) baseline = baselineRender.GetSpreadBitmap(spread, &error);
            if (!baseline) {
                std::fprintf(stderr, "No failure images for spread %zu: its baseline can't be read: %s\n", spread,
                             Kernel::EscapeForMessage(error).c_str());
                return;
            }
            Kernel::String base = m_unitPath;
            if (!tag.IsEmpty()) base += FormatWithString(".%1", tag);
            PNGExportParams exportParams;
            exportParams.m_sourceProfile = m_document ? m_document->GetProfile() : Kernel::Counted<Raster::ICCProfile>();
            exportParams.m_destinationProfile =
                Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(Raster::kFormatRGBA8);
            PersonaController* persona = PersonaController::GetInstance();
            exportParams.m_intent = persona->GetScreenIntent();
            exportParams.m_blackPointCompensation = persona->GetScreenBlackPointCompensation();
            WriteFailureImages(base, current, baseline, exportParams, bits, comparable);
        });
        if (!comparable) {
            baseline = Raster::DynamicBitmap();
            baselineRender.ReleaseSpreadBitmap(spread);
        }
    }
    m_comparisonFailed = true;
    return false;
}

Kernel::String Regression::FormatCompareMessage(const RenderCompareResult& result) {
    if (result.spreadCountMismatch) return Kernel::String("Spread count mismatch");
    if (!result.baselineError.empty())
        return FormatWithTwoStrings("Baseline spread %1 can't be read: %2", Kernel::ToStringT(int64_t(result.spread)),
                                    Kernel::String(result.baselineError));
    Kernel::String text = FormatWithThreeStrings("Pixel diff count: %1, max channel diff: %2 (%3 bit)",
                                                 Kernel::ToStringT(int64_t(result.differingPixels)),
                                                 Kernel::ToStringT(int64_t(result.maxChannelDifference)),
                                                 Kernel::ToStringT(int64_t(result.bitsPerChannel)));
    if (result.spread >= 0) text += FormatWithInt(", spread: %1", result.spread);
    return text;
}

Kernel::Counted<RegressionRender> Regression::GetBaselineRenderForSnapshot(int32_t index) const {
    if (!m_baseline || !m_baseline->m_content) return {};
    const RegressionBaseline& content = *m_baseline->m_content;
    if (index < 0) return content.GetRender();
    if (size_t(index) >= content.GetSnapshots().size()) return {};
    return content.GetSnapshots()[size_t(index)];
}

Kernel::Counted<RegressionRender> Regression::GetPostRedoBaselineRender() const {
    if (!m_baseline || !m_baseline->m_content) return {};
    const RegressionBaseline& content = *m_baseline->m_content;
    if (content.GetPostRedoRender()) {
        RegressionLogInfo(Kernel::String("Using post-redo baseline image"));
        return content.GetPostRedoRender();
    }
    return content.GetRender();
}

#include "app/UnitStatics.h"
