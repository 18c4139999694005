// The baseline file reader, from a buffer and from a file. A baseline that reads must hand out
// every spread it holds or the reason it cannot, alike from both, save to text that reads back
// as the same baseline, and give back every byte of memory it accounted for.
#include <memory>
#include <string>
#include <vector>

#include "DocSession/RegressionStore.h"
#include "FuzzSupport.h"
#include "Raster/Tile.h"

namespace {

std::vector<const RegressionRender*> Renders(const RegressionBaseline& baseline) {
    std::vector<const RegressionRender*> renders{baseline.GetRender().Get(), baseline.GetPostRedoRender().Get()};
    for (const auto& snapshot : baseline.GetSnapshots()) renders.push_back(snapshot.Get());
    return renders;
}

// Whether each spread gave its bitmap, in order.
std::vector<bool> CheckSpreads(const RegressionBaseline& baseline) {
    std::vector<bool> read;
    for (const RegressionRender* render : Renders(baseline)) {
        if (!render) continue;
        for (size_t i = 0; i < render->GetSpreadCount(); ++i) {
            const auto& stored = render->GetStoredSpreads()[i];
            std::string error;
            Raster::DynamicBitmap bitmap = render->GetSpreadBitmap(i, &error);
            read.push_back(bool(bitmap));
            if (!stored) {
                FUZZ_CHECK(!bitmap, "a spread without pixels hands out a bitmap");
                continue;
            }
            if (!bitmap) {
                FUZZ_CHECK(!error.empty() && error.size() <= 512, "spread %zu has no bitmap, and the reason is: %s",
                           i, Fuzz::Shown(error).c_str());
                continue;
            }
            FUZZ_CHECK(bitmap.GetWidth() == stored->GetWidth() && bitmap.GetHeight() == stored->GetHeight(),
                       "spread %zu is %dx%d, its bitmap %dx%d", i, stored->GetWidth(), stored->GetHeight(),
                       bitmap.GetWidth(), bitmap.GetHeight());
        }
    }
    return read;
}

void CheckSame(const RegressionBaseline& a, const RegressionBaseline& b) {
    FUZZ_CHECK(a.GetPerfectClipping() == b.GetPerfectClipping(), "perfect clipping changed");
    const auto ra = Renders(a), rb = Renders(b);
    FUZZ_CHECK(ra.size() == rb.size(), "%zu renders read back as %zu", ra.size(), rb.size());
    for (size_t r = 0; r < ra.size(); ++r) {
        FUZZ_CHECK(!ra[r] == !rb[r], "render %zu appeared or vanished", r);
        if (!ra[r]) continue;
        const auto& sa = ra[r]->GetStoredSpreads();
        const auto& sb = rb[r]->GetStoredSpreads();
        FUZZ_CHECK(sa.size() == sb.size(), "render %zu: %zu spreads read back as %zu", r, sa.size(), sb.size());
        for (size_t i = 0; i < sa.size(); ++i) {
            FUZZ_CHECK(!sa[i] == !sb[i], "render %zu spread %zu appeared or vanished", r, i);
            if (!sa[i]) continue;
            FUZZ_CHECK(sa[i]->GetFormat() == sb[i]->GetFormat() && sa[i]->GetWidth() == sb[i]->GetWidth() &&
                           sa[i]->GetHeight() == sb[i]->GetHeight() && sa[i]->GetRawSize() == sb[i]->GetRawSize() &&
                           sa[i]->GetCompressed() == sb[i]->GetCompressed(),
                       "render %zu spread %zu read back otherwise", r, i);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
    const uint64_t compressedBefore = memory.GetCompressedUsage();
    const uint64_t planarBefore = memory.GetPlanarUsage();
    {
        std::string error;
        Kernel::Counted<RegressionBaseline> baseline = RegressionBaseline::Deserialise(text, error);

        const std::string path = Fuzz::ScratchFolder() + "/unit.kqvle_baseline";
        Fuzz::WriteWholeFile(path, text);
        auto item = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
        const bool loaded = item->Load(Kernel::String(path));
        FUZZ_CHECK(loaded == bool(baseline), "the file reader says %d, the buffer reader %d", loaded, bool(baseline));

        if (!baseline) {
            FUZZ_CHECK(!error.empty(), "a refused baseline has no reason");
            FUZZ_CHECK(!item->GetLoadError().empty(), "a refused baseline file has no reason");
            FUZZ_CHECK(error.size() <= 512, "a reason of %zu bytes: %s", error.size(), Fuzz::Shown(error).c_str());
        } else {
            FUZZ_CHECK(CheckSpreads(*baseline) == CheckSpreads(*item->m_content),
                       "the file reader and the buffer reader decompress other spreads");
            const std::string saved = baseline->Serialise();
            std::string rereadError;
            Kernel::Counted<RegressionBaseline> reread = RegressionBaseline::Deserialise(saved, rereadError);
            FUZZ_CHECK(reread, "a saved baseline does not read back: %s", Fuzz::Shown(rereadError).c_str());
            CheckSame(*baseline, *reread);
            CheckSame(*baseline, *item->m_content);
            FUZZ_CHECK(reread->Serialise() == saved, "saving the baseline again gives other text");
        }
    }
    FUZZ_CHECK(memory.GetCompressedUsage() == compressedBefore, "compressed memory %llu before, %llu after",
               (unsigned long long)compressedBefore, (unsigned long long)memory.GetCompressedUsage());
    FUZZ_CHECK(memory.GetPlanarUsage() == planarBefore, "planar memory %llu before, %llu after",
               (unsigned long long)planarBefore, (unsigned long long)memory.GetPlanarUsage());
    return 0;
}
