#include <gtest/gtest.h>

#include <thread>

#include "DocSession/DocumentController.h"
#include "DocSession/Tools.h"
#include "app/ToolLookup.h"

namespace {
uint64_t FullChecks() { return Kernel::t_fastDynamicCastFullChecks; }

// A gaussian tool subclass, to check that derived classes are found.
class TunedGaussianTool : public GaussianTool {
public:
    using GaussianTool::GaussianTool;
};
}  // namespace

TEST(FastDynamicCast, AnswersLikeAFullCastAndCachesOneLayout) {
    std::thread([] {  // a fresh thread: every cache starts empty
        Kernel::Counted<Tool> gauss(new GaussianTool(1)), gauss2(new GaussianTool(2)), view(new ViewTool(3));
        EXPECT_EQ(Kernel::fast_dynamic_cast<GaussianTool>(static_cast<Tool*>(nullptr)), nullptr);
        EXPECT_EQ(FullChecks(), 0u);  // null leaves the cache alone

        struct Step {
            Tool* tool;
            bool match;
            bool fullCheck;
        } steps[] = {
            {gauss.Get(), true, true},    // first test on the thread
            {gauss2.Get(), true, false},  // same class: answered from the cache
            {view.Get(), false, true},    // another class replaces the entry
            {view.Get(), false, false},   // the no-match marker answers
            {gauss.Get(), true, true},    // back to the first class: full check again
        };
        for (auto& s : steps) {
            uint64_t before = FullChecks();
            GaussianTool* r = Kernel::fast_dynamic_cast<GaussianTool>(s.tool);
            EXPECT_EQ(r != nullptr, s.match);
            EXPECT_EQ(r, dynamic_cast<GaussianTool*>(s.tool));
            EXPECT_EQ(FullChecks() - before, s.fullCheck ? 1u : 0u);
        }
    }).join();
}

TEST(FastDynamicCast, NonZeroOffsetsAndSeparateConstCaches) {
    std::thread([] {
        Kernel::Counted<RasterNode> a(new RasterNode("a")), b(new RasterNode("b"));
        Selectable* sa = a.Get();
        Selectable* sb = b.Get();
        auto* ia = Kernel::fast_dynamic_cast<MutableRasterInterface>(sa);
        ASSERT_EQ(ia, static_cast<MutableRasterInterface*>(a.Get()));
        EXPECT_NE(static_cast<void*>(ia), static_cast<void*>(sa));  // the interface is not the first base
        uint64_t before = FullChecks();
        auto* ib = Kernel::fast_dynamic_cast<MutableRasterInterface>(sb);
        EXPECT_EQ(FullChecks(), before);  // from the cache, with the same offset
        EXPECT_EQ(ib, static_cast<MutableRasterInterface*>(b.Get()));

        // RasterNode and RasterNode const keep separate caches.
        before = FullChecks();
        EXPECT_EQ(Kernel::fast_dynamic_cast<RasterNode>(sa), a.Get());
        EXPECT_EQ(FullChecks(), before + 1);
        EXPECT_EQ(Kernel::fast_dynamic_cast<RasterNode const>(sa), a.Get());
        EXPECT_EQ(FullChecks(), before + 2);
        EXPECT_EQ(Kernel::fast_dynamic_cast<RasterNode const>(sa), a.Get());
        EXPECT_EQ(FullChecks(), before + 2);

        Kernel::Counted<Selectable> shape(new ShapeNode("s"));
        EXPECT_EQ(Kernel::fast_dynamic_cast<RasterNode>(shape.Get()), nullptr);
        EXPECT_NE(Kernel::fast_dynamic_cast<Node const>(shape.Get()), nullptr);
        EXPECT_EQ(Kernel::fast_dynamic_cast<ConstRasterInterface const>(shape.Get()), nullptr);
    }).join();
}

TEST(FastDynamicCast, CachesDoNotLeakBetweenThreads) {
    Kernel::Counted<Tool> gauss(new GaussianTool(1));
    Kernel::fast_dynamic_cast<GaussianTool>(gauss.Get());
    uint64_t before = FullChecks();
    Kernel::fast_dynamic_cast<GaussianTool>(gauss.Get());
    EXPECT_EQ(FullChecks(), before);  // this thread's entry answers
    std::thread([&] {
        Kernel::fast_dynamic_cast<GaussianTool>(gauss.Get());
        EXPECT_EQ(FullChecks(), 1u);  // the other thread starts empty
    }).join();
}

TEST(FirstToolOfClass, WalksTheDocumentsToolsInOrder) {
    struct Case {
        std::vector<int> kinds;  // 0 null, 1 gaussian, 2 view, 3 tuned gaussian
        int expectedId;          // -1: none
    } cases[] = {
        {{}, -1},
        {{0, 0}, -1},
        {{2, 2}, -1},
        {{2, 0, 1, 1}, 2},  // the earlier of two gaussians
        {{0, 3, 1}, 1},     // a derived class matches
    };
    for (auto& c : cases) {
        DocumentController doc;
        for (size_t i = 0; i < c.kinds.size(); ++i) {
            ToolID id = static_cast<ToolID>(i);
            switch (c.kinds[i]) {
            case 0: doc.AddTool({}); break;
            case 1: doc.AddTool(Kernel::Counted<Tool>(new GaussianTool(id))); break;
            case 2: doc.AddTool(Kernel::Counted<Tool>(new ViewTool(id))); break;
            case 3: doc.AddTool(Kernel::Counted<Tool>(new TunedGaussianTool(id))); break;
            }
        }
        auto found = FirstToolOfClassIn<GaussianTool>(doc);
        if (c.expectedId < 0) {
            EXPECT_FALSE(found);
        } else {
            ASSERT_TRUE(found);
            EXPECT_EQ(found->GetToolID(), c.expectedId);
            EXPECT_EQ(found->GetRefCount(), 2);  // the document's count and the handle's
        }
    }
}
