// The stand-in engine's live-filter, merge, mask and selection-file entry points: each records its
// call; range masks also hand their completion on as the engine would.
#include <mutex>
#include <thread>

#include "CallLog.h"
#include "RasterBaseTarget.h"

namespace Kestrane {

#define QV_RASTER_TOOL_ENTRY(Name) \
    void RasterBaseTarget::Name(Kernel::Counted<Tool> tool) { CallLog::Call("Kestrane::RasterBaseTarget::" #Name, tool); }
#include "RasterLayerEntryPoints.def"
#undef QV_RASTER_TOOL_ENTRY

namespace {
std::mutex g_completionMutex;
RasterBaseTarget::CompletionMode g_completionMode = RasterBaseTarget::CompletionMode::CallOnWorkerThread;
std::vector<std::function<void()>> g_keptCompletions;

void RangeMask(const char* name, const Kernel::Counted<Tool>& tool, std::function<void()> completion) {
    CallLog::Call(name, tool, CallLog::Raw{completion ? "<completion>" : "nil"});
    if (!completion) return;
    std::unique_lock<std::mutex> lock(g_completionMutex);
    if (g_completionMode == RasterBaseTarget::CompletionMode::Keep) {
        g_keptCompletions.push_back(std::move(completion));
        return;
    }
    lock.unlock();
    // The engine finishes the mask on one of its own threads; waiting for it keeps the order of
    // what the stand-in prints the same from run to run.
    std::thread worker(std::move(completion));
    worker.join();
}
}  // namespace

void RasterBaseTarget::EnqueueAddHueRangeMaskRasterNodeWithTool(Kernel::Counted<Tool> tool,
                                                                std::function<void()> completion) {
    RangeMask("Kestrane::RasterBaseTarget::EnqueueAddHueRangeMaskRasterNodeWithTool", tool, std::move(completion));
}
void RasterBaseTarget::EnqueueAddIntensityRangeMaskRasterNodeWithTool(Kernel::Counted<Tool> tool,
                                                                      std::function<void()> completion) {
    RangeMask("Kestrane::RasterBaseTarget::EnqueueAddIntensityRangeMaskRasterNodeWithTool", tool,
              std::move(completion));
}
void RasterBaseTarget::EnqueueAddBandpassMaskRasterNodeWithTool(Kernel::Counted<Tool> tool,
                                                                std::function<void()> completion) {
    RangeMask("Kestrane::RasterBaseTarget::EnqueueAddBandpassMaskRasterNodeWithTool", tool, std::move(completion));
}

void RasterBaseTarget::SetRangeMaskCompletionMode(CompletionMode mode) {
    std::lock_guard<std::mutex> lock(g_completionMutex);
    g_completionMode = mode;
    g_keptCompletions.clear();
}

std::vector<std::function<void()>> RasterBaseTarget::TakeKeptCompletions() {
    std::lock_guard<std::mutex> lock(g_completionMutex);
    return std::exchange(g_keptCompletions, {});
}

void RasterBaseTarget::SaveSelectionAsSpareChannel(Kernel::Counted<Tool> tool) {
    CallLog::Call("Kestrane::RasterBaseTarget::SaveSelectionAsSpareChannel", tool);
}
void RasterBaseTarget::SaveSelectionAsFile(Kernel::Counted<Tool> tool, Kernel::StringT<Kernel::TEncUtf8> const& path) {
    CallLog::Call("Kestrane::RasterBaseTarget::SaveSelectionAsFile", tool, path);
}
void RasterBaseTarget::LoadSelectionFromFile(Kernel::Counted<Tool> tool,
                                             Kernel::StringT<Kernel::TEncUtf8> const& path) {
    CallLog::Call("Kestrane::RasterBaseTarget::LoadSelectionFromFile", tool, path);
}

void CommonBaseTarget::MaskToBelow(Kernel::Counted<DocumentController const> document, bool flag) {
    CallLog::Call("Kestrane::CommonBaseTarget::MaskToBelow", document, flag);
}
}  // namespace Kestrane
