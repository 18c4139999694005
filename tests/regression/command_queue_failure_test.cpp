// A document's queued command that throws, on the command thread or on the thread that waits:
// the exception reaches whoever waits for the queue, never std::terminate, and the queue goes on.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

#include "DocSession/DocumentController.h"
#include "DocSession/DocumentEngine.h"
#include "Kernel/OutOfMemory.h"

namespace {

class ThrowingCommand : public DocumentCommand {
public:
    explicit ThrowingCommand(std::atomic<int>& runs) : m_runs(runs) {}
    bool IsQueued() const override { return true; }
    void Execute(DocumentController&) override {
        ++m_runs;
        Kernel::ThrowOutOfMemory("a block of a test command", 65536);
    }
    std::string Describe() const override { return "ThrowingCommand"; }

private:
    std::atomic<int>& m_runs;
};

class CountingCommand : public DocumentCommand {
public:
    explicit CountingCommand(std::atomic<int>& runs) : m_runs(runs) {}
    bool IsQueued() const override { return true; }
    void Execute(DocumentController&) override { ++m_runs; }
    std::string Describe() const override { return "CountingCommand"; }

private:
    std::atomic<int>& m_runs;
};

}  // namespace

TEST(CommandQueueFailure, AQueuedCommandThatThrowsReachesTheWaiter) {
    auto document = Kernel::MakeCounted<DocumentController>();
    std::atomic<int> thrown{0}, counted{0};
    for (int round = 0; round < 20; ++round) {
        // On the command thread: the waiter only collects what it threw.
        const uint64_t before = document->GetQueuedWorkRun();
        document->EnqueueCommand(Kernel::MakeCounted<ThrowingCommand>(thrown));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);  // liveness bound
        while (document->GetQueuedWorkRun() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // polling, not a wait for the result
        try {
            document->WaitUntilCommandQueueEmpty();
            ADD_FAILURE() << "nothing was thrown";
        } catch (const std::bad_alloc& error) {
            EXPECT_STREQ(Kernel::DescribeAllocation(error), "a block of a test command of 65536 bytes");
        }
        // Told once: the next wait has nothing to tell, and later commands still run.
        EXPECT_NO_THROW(document->WaitUntilCommandQueueEmpty());
        document->EnqueueCommand(Kernel::MakeCounted<CountingCommand>(counted));
        EXPECT_NO_THROW(document->WaitUntilCommandQueueEmpty());
        // Queued behind another, on whichever thread runs them.
        document->EnqueueCommand(Kernel::MakeCounted<ThrowingCommand>(thrown));
        document->EnqueueCommand(Kernel::MakeCounted<CountingCommand>(counted));
        EXPECT_THROW(document->WaitUntilCommandQueueEmpty(), Kernel::OutOfMemory);
    }
    EXPECT_EQ(thrown.load(), 40);
    EXPECT_EQ(counted.load(), 40);
}
