// The selection's node list asked from many threads at once (run under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "menus/ContextMenuController.h"

namespace {

TEST(SelectionNodesThreads, ManyThreadsGetTheSameListAndTheCacheIsBuiltOnce) {
    constexpr int kNodes = 64, kThreads = 16, kCalls = 200;
    std::vector<Kernel::Counted<Node>> nodes;
    auto selection = Kernel::MakeCounted<MutableSelection>();
    for (int i = 0; i < kNodes; ++i) {
        nodes.push_back(Kernel::MakeCounted<Node>("N" + std::to_string(i)));
        selection->AddSelectable(Kernel::Counted<Selectable>(nodes.back().Get()), false);
        selection->AddSelectable(Kernel::MakeCounted<Selectable>(), false);  // not a node
    }
    const Selection& shared = *selection;
    std::atomic<bool> go{false};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            while (!go.load()) std::this_thread::yield();
            for (int c = 0; c < kCalls; ++c) {
                auto list = SelectionNodes(shared);
                bool same = list.size() == nodes.size();
                for (size_t i = 0; same && i < list.size(); ++i) same = list[i].Get() == nodes[i].Get();
                if (!same) ++mismatches;
            }
        });
    }
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(shared.ItemReads(), 1u);
    // Every copy gave its counts back: ours, the selection item's and the cache's remain.
    for (auto& n : nodes) EXPECT_EQ(n->GetRefCount(), 3);
}

}  // namespace
