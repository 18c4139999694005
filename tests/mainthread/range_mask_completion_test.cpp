// Range masks hand the engine a completion that it may call on any thread: the live mask panel
// must still open on the main thread only, after the main thread has run its queue.
#include <mutex>
#include <thread>

#include "../app/AppTestSupport.h"
#include "DocSession/RasterBaseTarget.h"
#include "Kernel/Dispatch.h"
#include "menus/MenuBarRasterController.h"

namespace {

using Target = Kestrane::RasterBaseTarget;

// Notes the thread on which each panel opens.
class PanelThreads {
public:
    PanelThreads() {
        m_previous = CallLog::SetSink([this](const std::string& entry) {
            if (entry != "AppPanelManager::showLiveMaskPanel") return;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_threads.push_back(std::this_thread::get_id());
        });
    }
    ~PanelThreads() { CallLog::SetSink(std::move(m_previous)); }
    std::vector<std::thread::id> Threads() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads;
    }

private:
    std::mutex m_mutex;
    std::vector<std::thread::id> m_threads;
    CallLog::Sink m_previous;
};

struct RangeMask {
    const char* selector;
    const char* entry;
};
const RangeMask kRangeMasks[] = {
    {"addHueRangeMaskRasterLayer:", "Kestrane::RasterBaseTarget::EnqueueAddHueRangeMaskRasterNodeWithTool"},
    {"addIntensityRangeMaskRasterLayer:", "Kestrane::RasterBaseTarget::EnqueueAddIntensityRangeMaskRasterNodeWithTool"},
    {"addBandpassMaskRasterLayer:", "Kestrane::RasterBaseTarget::EnqueueAddBandpassMaskRasterNodeWithTool"},
};

class RangeMaskCompletionTest : public AppShellTest {
protected:
    void SetUp() override {
        AppShellTest::SetUp();
        Kernel::Dispatch::RunMainThreadQueue();  // nothing left over from earlier tests
        m_app = New<AppController>();
        AppController::setRunningController(m_app.get());
        m_document = Kernel::MakeCounted<DocumentController>("Photo");
        m_view = New<DocumentView>(m_document);
        m_view->setCurrentToolQuietly(Kernel::MakeCounted<Tool>(3));
        m_app->setCurrentView(m_view.get());
        m_controller = New<MenuBarRasterController>();
    }
    void TearDown() override {
        Kernel::Dispatch::RunMainThreadQueue();
        m_app->setCurrentView(nullptr);
        AppController::setRunningController(nullptr);
        AppShellTest::TearDown();
    }
    void Choose(const char* selector) { m_controller->performSelector(sel_registerName(selector), nullptr); }
    size_t PanelsOpened() { return LogStartingWith("AppPanelManager::showLiveMaskPanel").size(); }

    Ref<AppController> m_app;
    Kernel::Counted<DocumentController> m_document;
    Ref<DocumentView> m_view;
    Ref<MenuBarRasterController> m_controller;
};

TEST_F(RangeMaskCompletionTest, CompletionFromAWorkerOpensThePanelOnlyOnTheMainThread) {
    const std::thread::id mainThread = std::this_thread::get_id();
    for (const RangeMask& mask : kRangeMasks) {
        SCOPED_TRACE(mask.selector);
        CallLog::Clear();
        PanelThreads threads;
        Target::SetRangeMaskCompletionMode(Target::CompletionMode::Keep);
        Choose(mask.selector);
        EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{std::string(mask.entry) + "(<Tool 3>, <completion>)"});
        std::vector<std::function<void()>> completions = Target::TakeKeptCompletions();
        ASSERT_EQ(completions.size(), 1u);

        std::thread engine([&] { completions.front()(); });
        engine.join();
        // Had the completion opened the panel itself, it would be open by now, on the worker.
        EXPECT_EQ(PanelsOpened(), 0u);
        EXPECT_TRUE(threads.Threads().empty());
        EXPECT_EQ(Kernel::Dispatch::PendingMainThreadWork(), 1u);

        EXPECT_EQ(Kernel::Dispatch::RunMainThreadQueue(), 1u);
        EXPECT_EQ(PanelsOpened(), 1u);
        EXPECT_EQ(threads.Threads(), std::vector<std::thread::id>{mainThread});
    }
}

TEST_F(RangeMaskCompletionTest, CompletionRunsWhileTheMainThreadKeepsWorking) {
    // The engine's thread posts while the main thread is busy choosing further items.
    Target::SetRangeMaskCompletionMode(Target::CompletionMode::Keep);
    for (const RangeMask& mask : kRangeMasks) Choose(mask.selector);
    std::vector<std::function<void()>> completions = Target::TakeKeptCompletions();
    ASSERT_EQ(completions.size(), 3u);
    std::thread engine([&] {
        for (auto& c : completions) c();
    });
    for (int i = 0; i < 50; ++i) Choose("addHueRangeMaskRasterLayer:");
    engine.join();
    EXPECT_EQ(PanelsOpened(), 0u);
    EXPECT_EQ(Kernel::Dispatch::RunMainThreadQueue(), 3u);
    EXPECT_EQ(PanelsOpened(), 3u);
    Target::TakeKeptCompletions();
}

TEST_F(RangeMaskCompletionTest, EngineThatFinishesOnItsOwnThreadLeavesThePanelToTheMainQueue) {
    // The stand-in's default: the engine calls the completion at once on a thread of its own.
    Choose("addIntensityRangeMaskRasterLayer:");
    EXPECT_EQ(PanelsOpened(), 0u);
    EXPECT_EQ(Kernel::Dispatch::RunMainThreadQueue(), 1u);
    EXPECT_EQ(PanelsOpened(), 1u);
}

TEST_F(RangeMaskCompletionTest, CompletionNeverCalledOrNoViewOpensNothing) {
    Target::SetRangeMaskCompletionMode(Target::CompletionMode::Keep);
    Choose("addBandpassMaskRasterLayer:");
    EXPECT_EQ(Kernel::Dispatch::RunMainThreadQueue(), 0u);
    EXPECT_EQ(PanelsOpened(), 0u);
    EXPECT_EQ(Target::TakeKeptCompletions().size(), 1u);  // dropped without being called

    m_app->setCurrentView(nullptr);
    CallLog::Clear();
    for (const RangeMask& mask : kRangeMasks) Choose(mask.selector);
    EXPECT_TRUE(CallLog::Entries().empty());
    EXPECT_TRUE(Target::TakeKeptCompletions().empty());
}

TEST_F(RangeMaskCompletionTest, TheCompletionOutlivesTheViewAndTheDocument) {
    Target::SetRangeMaskCompletionMode(Target::CompletionMode::Keep);
    Choose("addHueRangeMaskRasterLayer:");
    std::vector<std::function<void()>> completions = Target::TakeKeptCompletions();
    ASSERT_EQ(completions.size(), 1u);
    // The document and its view go before the engine finishes; the completion holds neither.
    m_app->setCurrentView(nullptr);
    m_view = nullptr;
    EXPECT_EQ(m_document->GetRefCount(), 1);
    m_document.Reset();
    std::thread engine([&] { completions.front()(); });
    engine.join();
    EXPECT_EQ(Kernel::Dispatch::RunMainThreadQueue(), 1u);
    EXPECT_EQ(PanelsOpened(), 1u);
}

}  // namespace
