#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <optional>
#include <set>
#include <thread>

#include "Kernel/Kernel.h"
#include "System/UnfairLock.h"

using Kernel::String;

TEST(KernelString, CopiesShareUntilWritten) {
    String a("hello");
    String b = a;
    EXPECT_TRUE(a.SharesBufferWith(b));
    EXPECT_EQ(a.GetShareCount(), 2);
    b += " world";
    EXPECT_FALSE(a.SharesBufferWith(b));
    EXPECT_EQ(a, "hello");
    EXPECT_EQ(b, "hello world");
    EXPECT_EQ(a.GetShareCount(), 1);
    String e1, e2("");
    EXPECT_TRUE(e1.SharesBufferWith(e2));  // one shared empty buffer
    EXPECT_EQ(e1.GetLength(), 0u);
    a.Append(a);
    EXPECT_EQ(a, "hellohello");
}

TEST(KernelString, CompareIsByUnsignedBytes) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {{"a", "b", -1}, {"b", "a", 1}, {"ab", "a", 1}, {"", "", 0}, {"\xc3\xa9", "z", 1}, {"Z", "a", -1}};
    for (auto& c : cases) {
        int r = String(c.a).Compare(String(c.b));
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

namespace {
struct Probe : Kernel::Countable {
    explicit Probe(std::atomic<int>* d) : destroyed(d) {}
    ~Probe() override { ++*destroyed; }
    std::atomic<int>* destroyed;
};
}  // namespace

TEST(KernelCounted, CountsFollowHandles) {
    std::atomic<int> destroyed{0};
    Probe* raw = new Probe(&destroyed);
    {
        Kernel::Counted<Probe> a(raw);
        EXPECT_EQ(raw->GetRefCount(), 1);
        {
            Kernel::Counted<Probe> b = a;
            Kernel::JailCounted<Probe> j(b);
            EXPECT_EQ(raw->GetRefCount(), 3);
            Kernel::NonCounted<Probe> n(raw);
            EXPECT_EQ(raw->GetRefCount(), 3);
        }
        EXPECT_EQ(raw->GetRefCount(), 1);
        Kernel::Counted<Kernel::Countable> base = a;
        EXPECT_EQ(raw->GetRefCount(), 2);
    }
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(KernelCommandLine, NamesMatchWholeWordsWithOptionalDashes) {
    const char* argv[] = {"prog", "--update", "-file", "/tmp/a b.kqvle", "regressionunit", "ram", "512", "--cpus", "x"};
    Kernel::CommandLineArguments args(9, argv);
    struct Case {
        const char* name;
        bool present;
    } cases[] = {{"update", true}, {"file", true},  {"regressionunit", true}, {"regression", false},
                 {"ram", true},    {"upd", false},  {"prog", false},          {"cpus", true}, {"", false}};
    for (auto& c : cases) EXPECT_EQ(args.HasValue(c.name, c.name), c.present) << c.name;

    bool b = false;
    EXPECT_TRUE(args.GetValue("update", "update", b, false));
    EXPECT_TRUE(b);
    EXPECT_FALSE(args.GetValue("nodump", "nodump", b, false));
    EXPECT_FALSE(b);
    // A bool option is true even when a word follows it.
    EXPECT_TRUE(args.GetValue<bool>("file", "file", false));

    String s;
    EXPECT_TRUE(args.GetValue("file", "file", s, String("none")));
    EXPECT_EQ(s, "/tmp/a b.kqvle");
    EXPECT_FALSE(args.GetValue("missing", "missing", s, String("none")));
    EXPECT_EQ(s, "none");

    int i = 0;
    EXPECT_TRUE(args.GetValue("ram", "ram", i, 7));
    EXPECT_EQ(i, 512);
    EXPECT_FALSE(args.GetValue("cpus", "cpus", i, 3));  // not a number: the fallback
    EXPECT_EQ(i, 3);
    const char* last[] = {"prog", "--file"};
    Kernel::CommandLineArguments tail(2, last);
    EXPECT_FALSE(tail.GetValue("file", "file", s, String()));  // no word after it
    EXPECT_TRUE(s.IsEmpty());
}

namespace {
struct ForContext {
    std::vector<std::atomic<int>>* hits;
};
void CountIndex(void* ctx, size_t i) { (*static_cast<ForContext*>(ctx)->hits)[i]++; }

struct NestedContext {
    std::atomic<int> inner{0};
};
void InnerWork(void* ctx, size_t) { static_cast<NestedContext*>(ctx)->inner++; }
void OuterWork(void* ctx, size_t) { Kernel::Dispatch::DispatchParallelFor(InnerWork, 10, ctx, 21, 2, 0); }
}  // namespace

TEST(KernelDispatch, EveryIndexRunsExactlyOnceForAnyParallelism) {
    for (unsigned threads : {1u, 2u, 8u, 0u}) {
        Kernel::Dispatch::SetParallelism(threads);
        for (size_t count : {size_t(0), size_t(1), size_t(3), size_t(1000)}) {
            std::vector<std::atomic<int>> hits(count);
            ForContext ctx{&hits};
            Kernel::Dispatch::DispatchParallelFor(CountIndex, count, &ctx, 21, 2, 0);
            for (size_t i = 0; i < count; ++i) ASSERT_EQ(hits[i].load(), 1) << threads << " threads, index " << i;
        }
    }
    Kernel::Dispatch::SetParallelism(0);
}

TEST(KernelDispatch, NestedCallsRunEveryIndexOnceWithoutDeadlock) {
    for (unsigned threads : {2u, 3u, 0u}) {
        Kernel::Dispatch::SetParallelism(threads);
        NestedContext ctx;
        Kernel::Dispatch::DispatchParallelFor(OuterWork, 64, &ctx, 21, 2, 0);
        EXPECT_EQ(ctx.inner.load(), 640) << threads << " threads";
    }
    Kernel::Dispatch::SetParallelism(0);
}

namespace {
// Item 0 of the inner loop waits for item 1 to start, which only another thread can do; the
// outer item on the test's own thread waits for the inner loop, so that runs on a worker.
struct Rendezvous {
    std::thread::id caller;
    std::mutex m;
    std::condition_variable cv;
    bool secondStarted = false;
    bool met = false;
    bool innerDone = false;
};
// Liveness bounds, not speed verdicts: an idle worker takes the item however busy the machine.
constexpr auto kLiveness = std::chrono::seconds(120);
void InnerMeet(void* ctx, size_t i) {
    auto& r = *static_cast<Rendezvous*>(ctx);
    std::unique_lock<std::mutex> lock(r.m);
    if (i == 1) {
        r.secondStarted = true;
        r.cv.notify_all();
        return;
    }
    r.met = r.cv.wait_for(lock, kLiveness, [&] { return r.secondStarted; });
}
void OuterMeet(void* ctx, size_t) {
    auto& r = *static_cast<Rendezvous*>(ctx);
    if (std::this_thread::get_id() == r.caller) {
        std::unique_lock<std::mutex> lock(r.m);
        r.cv.wait_for(lock, kLiveness, [&] { return r.innerDone; });
        return;
    }
    Kernel::Dispatch::DispatchParallelFor(InnerMeet, 2, ctx, 21, 2, 0);
    std::lock_guard<std::mutex> lock(r.m);
    r.innerDone = true;
    r.cv.notify_all();
}
}  // namespace

TEST(KernelDispatch, ALoopInsideAWorkersItemReachesIdleWorkers) {
    Kernel::Dispatch::SetParallelism(3);
    Rendezvous r;
    r.caller = std::this_thread::get_id();
    Kernel::Dispatch::DispatchParallelFor(OuterMeet, 2, &r, 21, 2, 0);
    EXPECT_TRUE(r.innerDone);
    EXPECT_TRUE(r.met);
    Kernel::Dispatch::SetParallelism(0);
}

TEST(KernelDispatch, ConcurrentCallersEachGetTheirOwnLoop) {
    std::vector<std::thread> callers;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                std::vector<std::atomic<int>> hits(257);
                ForContext ctx{&hits};
                Kernel::Dispatch::DispatchParallelFor(CountIndex, hits.size(), &ctx, 21, 2, 0);
                for (auto& h : hits)
                    if (h.load() != 1) ++bad;
            }
        });
    for (auto& c : callers) c.join();
    EXPECT_EQ(bad.load(), 0);
}

// Items handed over one at a time, while the caller goes on, each run once whatever the
// threads; a group waits for what it was given when it ends, and the first exception an item
// threw reaches Wait, after the other items have run.
TEST(KernelDispatch, AGroupRunsEachItemHandedOverOnce) {
    struct Throwing {
        std::vector<std::atomic<int>>* hits;
        size_t thrower;
    };
    for (unsigned threads : {1u, 2u, 8u, 0u}) {
        Kernel::Dispatch::SetParallelism(threads);
        for (size_t count : {size_t(1), size_t(3), size_t(1000)}) {
            std::vector<std::atomic<int>> hits(count);
            ForContext ctx{&hits};
            {
                Kernel::Dispatch::Group group(CountIndex, &ctx);
                for (size_t i = 0; i < count; ++i) {
                    group.Run(i);
                    if (i % 7 == 0) group.RunPending();
                }
                if (count == 1000) group.Wait();  // else the group waits as it ends
            }
            for (size_t i = 0; i < count; ++i) ASSERT_EQ(hits[i].load(), 1) << threads << " threads, index " << i;
        }
        std::vector<std::atomic<int>> hits(200);
        Throwing throwing{&hits, 150};
        Kernel::Dispatch::Group group(
            [](void* context, size_t i) {
                auto& t = *static_cast<Throwing*>(context);
                ++(*t.hits)[i];
                if (i >= t.thrower) throw std::runtime_error("item " + std::to_string(i));
            },
            &throwing);
        std::string thrown;
        try {
            for (size_t i = 0; i < hits.size(); ++i) group.Run(i);
            group.Wait();
        } catch (const std::runtime_error& error) {
            thrown = error.what();
        }
        EXPECT_EQ(thrown.rfind("item 1", 0), 0u) << threads << " threads: " << thrown;
        for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i].load(), 1) << threads << " threads, index " << i;
    }
    Kernel::Dispatch::SetParallelism(0);
}

TEST(KernelDispatch, MainThreadQueueRunsInOrder) {
    std::vector<int> order;
    std::thread poster([&] {
        for (int i = 0; i < 3; ++i) Kernel::Dispatch::DispatchOnMainThread([&order, i] { order.push_back(i); });
    });
    poster.join();
    EXPECT_EQ(Kernel::Dispatch::RunMainThreadQueue(), 3u);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(KernelFormat, NumberedPlaceholders) {
    struct Case {
        const char* fmt;
        std::vector<String> args;
        const char* expected;
    } cases[] = {
        {"Ignoring unit: %1.", {"a/b.kqvle"}, "Ignoring unit: a/b.kqvle."},
        {"%2 then %1", {"x", "y"}, "y then x"},
        {"%3%3", {"a", "b", "c"}, "cc"},
        {"100% of %1", {"it"}, "100% of it"},
        {"missing %2", {"a"}, "missing %2"},
        {"%1", {"%2"}, "%2"},  // arguments are not formatted again
    };
    for (auto& c : cases) {
        String out("> ");
        Kernel::AppendFormatVT(out, c.fmt, c.args);
        EXPECT_EQ(out, String("> ") + c.expected) << c.fmt;
    }
    EXPECT_EQ(Kernel::ToStringT(uint64_t(18446744073709551615ull)), "18446744073709551615");
    EXPECT_EQ(Kernel::ToStringT(-1234567), "-1234567");
}

TEST(KernelPaths, AppendAndCanonicalize) {
    using P = Kernel::PathTraitsUnix;
    EXPECT_EQ(P::Append("a", "b"), "a/b");
    EXPECT_EQ(P::Append("a/", "b"), "a/b");
    EXPECT_EQ(P::Append("", "b"), "b");
    EXPECT_EQ(P::Append("/", "b"), "/b");
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {{"/a/./b//c/", "/a/b/c"}, {"/a/../b", "/b"}, {"/..", "/"}, {"a/../../b", "../b"}, {"./x", "x"}, {".", "."}};
    for (auto& c : cases) EXPECT_EQ(P::Canonicalize(c.in), c.out) << c.in;
    EXPECT_TRUE(P::IsRelative("a/b"));
    EXPECT_FALSE(P::IsRelative("/a"));
}

TEST(KernelFiles, EnumeratorListsOneLevelInNameOrderWithoutFollowingDirectoryLinks) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("qv-enum-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub" / "deeper");
    std::ofstream(dir / "b.txt") << "x";
    std::ofstream(dir / "a.txt") << "x";
    fs::create_directory_symlink(dir, dir / "loop");
    fs::create_symlink(dir / "a.txt", dir / "link.txt");
    auto e = Kernel::FileEnumerator::Create(String(dir.string()), false);
    ASSERT_TRUE(e->IsValid());
    std::vector<std::pair<std::string, Kernel::FileEnumerator::Kind>> seen;
    Kernel::FileEnumerator::Entry entry;
    while (e->Next(entry)) seen.emplace_back(entry.name.ToStd(), entry.kind);
    using K = Kernel::FileEnumerator::Kind;
    std::vector<std::pair<std::string, K>> expected = {
        {"a.txt", K::File}, {"b.txt", K::File}, {"link.txt", K::File}, {"loop", K::Other}, {"sub", K::Directory}};
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(Kernel::FileEnumerator::Create(String((dir / "none").string()), false)->IsValid());

    String target((dir / "new" / "nested").string());
    EXPECT_TRUE(Kernel::FileSystem::CreateDirectoryRecursive(target));
    EXPECT_TRUE(Kernel::FileSystem::IsDirectory(target));
    String file((dir / "new" / "f.txt").string());
    EXPECT_TRUE(Kernel::FileSystem::WriteFileAtomically(file, "content"));
    std::string back;
    EXPECT_TRUE(Kernel::FileSystem::ReadFile(file, back));
    EXPECT_EQ(back, "content");
    EXPECT_FALSE(Kernel::FileSystem::WriteFileAtomically(String((dir / "missing" / "f").string()), "x"));
    fs::remove_all(dir);
}

// A write-then-rename never writes through a link planted beside its target, whether at the
// name a predictable scheme would use or at the target itself, and leaves nothing behind.
TEST(KernelFiles, AtomicWritesNeverFollowPlantedLinks) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "qv-atomic-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    const fs::path dir = pattern;
    auto write = [](const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; };
    auto read = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    write(dir / "victim", "precious");
    write(dir / "other", "kept");
    const fs::path target = dir / "unit_baseline";
    fs::create_symlink(dir / "victim", target.string() + ".tmp-" + std::to_string(getpid()));
    fs::create_symlink(dir / "victim", target.string() + ".tmp");
    fs::create_symlink(dir / "other", dir / "metrics");

    std::string reason;
    EXPECT_TRUE(Kernel::FileSystem::WriteFileAtomically(String(target.string()), "new", reason)) << reason;
    EXPECT_TRUE(Kernel::FileSystem::WriteFileAtomically(String((dir / "metrics").string()), "replaced"));
    EXPECT_EQ(read(dir / "victim"), "precious");
    EXPECT_EQ(read(dir / "other"), "kept");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
    EXPECT_EQ(read(target), "new");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "metrics")));  // the link is replaced
    EXPECT_EQ(read(dir / "metrics"), "replaced");

    // A file given up, or one that cannot be made, leaves nothing; the reason says why.
    {
        Kernel::AtomicFile file{String((dir / "dropped").string())};
        ASSERT_TRUE(file.IsOpen()) << file.GetError();
        EXPECT_EQ(file.GetTemporaryPath().rfind((dir / "dropped.tmp-").string(), 0), 0u);
        EXPECT_TRUE(file.Write("half"));
    }
    EXPECT_FALSE(Kernel::FileSystem::WriteFileAtomically(String((dir / "missing" / "f").string()), "x", reason));
    EXPECT_EQ(reason, "cannot create a file beside it: No such file or directory");
    size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 6u);  // victim, other, the two planted links, the target and metrics
    fs::remove_all(dir);
}

// A temporary's name fits wherever its target's does: a target with no room left for the suffix
// lends it as much of its own name as fits, whole characters only. A target that does not fit
// itself is refused.
TEST(KernelFiles, ATemporaryNameFitsWhereverItsTargetsDoes) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "qv-atomic-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    const fs::path dir = pattern;
    const long limit = pathconf(dir.c_str(), _PC_NAME_MAX);
    const size_t nameMax = limit > 0 ? size_t(limit) : 255;
    // ".tmp-<pid>-<token>-<random>", token and random part 12 letters and digits each.
    const std::string pid = std::to_string(getpid());
    const size_t suffix = 5 + pid.size() + 1 + 12 + 1 + 12, room = nameMax - suffix;
    // Three-byte characters placed so that one straddles the room's end.
    std::string euros((room + 2) % 3, 'a');
    while (euros.size() + 3 <= nameMax) euros += "\xE2\x82\xAC";
    euros.append(nameMax - euros.size(), 'b');
    const std::pair<std::string, std::string> cases[] = {
        // target, the part of it the temporary's name begins with
        {"unit_baseline", "unit_baseline"},
        {std::string(room, 'x'), std::string(room, 'x')},
        {std::string(room + 1, 'y'), std::string(room, 'y')},
        {std::string(nameMax, 'z'), std::string(room, 'z')},
        {euros, euros.substr(0, room - 1)},
    };
    std::set<std::string> targets;
    for (const auto& [target, head] : cases) {
        SCOPED_TRACE(target.size());
        Kernel::AtomicFile file{String((dir / target).string())};
        ASSERT_TRUE(file.IsOpen()) << file.GetError();
        const std::string name = fs::path(file.GetTemporaryPath()).filename().string();
        EXPECT_EQ(name.rfind(head + ".tmp-" + pid + "-", 0), 0u) << name;
        EXPECT_EQ(name.size(), head.size() + suffix) << name;
        EXPECT_TRUE(file.Write(target) && file.Commit()) << file.GetError();
        std::ifstream in(dir / target);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), target);
        targets.insert(target);
    }
    Kernel::AtomicFile tooLong{String((dir / std::string(nameMax + 1, 'w')).string())};
    EXPECT_FALSE(tooLong.IsOpen());
    EXPECT_EQ(tooLong.GetError(), "cannot create a file beside it: File name too long");
    std::set<std::string> listed;
    for (const auto& entry : fs::directory_iterator(dir)) listed.insert(entry.path().filename().string());
    EXPECT_EQ(listed, targets);
    fs::remove_all(dir);
}

// The temporary folder is the process's own: made below TMPDIR with a fresh name and mode 0700,
// the same on every call while it stands, made anew when it is gone, and an error (never a
// shared folder) when none can be made.
TEST(KernelFiles, TemporaryFolderIsPrivateToTheProcess) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "qv-tmpdir-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    const fs::path base = pattern;
    const char* old = std::getenv("TMPDIR");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("TMPDIR", (base.string() + "/").c_str(), 1);

    // A folder made before TMPDIR changed is given up, so the next one lies below base.
    fs::remove_all(Kernel::FileSystem::GetTemporaryDirectory().ToStd());
    const std::string first = Kernel::FileSystem::GetTemporaryDirectory().ToStd();
    ASSERT_FALSE(first.empty()) << Kernel::FileSystem::GetTemporaryDirectoryError();
    EXPECT_EQ(fs::path(first).parent_path(), base);
    EXPECT_EQ(fs::path(first).filename().string().rfind("quirevale-", 0), 0u);
    EXPECT_EQ(fs::status(first).permissions() & fs::perms::all, fs::perms::owner_all);
    std::set<std::string> seen;
    std::vector<std::thread> threads;
    std::mutex mutex;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            const std::string path = Kernel::FileSystem::GetTemporaryDirectory().ToStd();
            std::lock_guard<std::mutex> lock(mutex);
            seen.insert(path);
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(seen, std::set<std::string>{first});

    fs::remove_all(first);
    const std::string second = Kernel::FileSystem::GetTemporaryDirectory().ToStd();
    EXPECT_NE(second, first);
    EXPECT_TRUE(fs::is_directory(second));
    EXPECT_EQ(fs::path(second).parent_path(), base);

    fs::remove_all(second);
    setenv("TMPDIR", (base / "missing").c_str(), 1);
    EXPECT_TRUE(Kernel::FileSystem::GetTemporaryDirectory().IsEmpty());
    EXPECT_EQ(Kernel::FileSystem::GetTemporaryDirectoryError(),
              "no private temporary folder can be made in " + (base / "missing").string() +
                  ": No such file or directory");
    EXPECT_FALSE(fs::exists(base / "missing"));

    if (saved) setenv("TMPDIR", saved->c_str(), 1);
    else unsetenv("TMPDIR");
    fs::remove_all(base);
}

namespace {
struct RecordingTrap : Kernel::AssertTrap {
    std::vector<std::string> seen;
    void HandleAssert(const char* file, const char* expression, uint32_t line) override {
        seen.push_back(std::string(file) + ":" + std::to_string(line) + " " + expression);
    }
};
}  // namespace

TEST(KernelAssertTrap, InnermostLiveTrapHearsAssertions) {
    RecordingTrap outer;
    {
        RecordingTrap inner;
        Kernel::ReportAssertion("f.cpp", 12, "x > 0");
        EXPECT_EQ(inner.seen, std::vector<std::string>{"f.cpp:12 x > 0"});
    }
    Kernel::ReportAssertion("g.cpp", 3, "false");
    EXPECT_EQ(outer.seen, std::vector<std::string>{"g.cpp:3 false"});
}

TEST(KernelUnfairLock, ExcludesOtherThreads) {
    os_unfair_lock lock OS_UNFAIR_LOCK_INIT;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                os_unfair_lock_lock(&lock);
                ++counter;
                os_unfair_lock_unlock(&lock);
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}

// Short holds at a high rate, and a long hold that sends the waiters to sleep: each waiter gets
// the lock once it is released, and no two threads hold it at once.
TEST(KernelCriticalSection, ExcludesOtherThreadsAndWakesSleepers) {
    Kernel::CriticalSection lock;
    long counter = 0;
    lock.AcquireLock();
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50000; ++i) {
                Kernel::CriticalSectionLock held(lock);
                ++counter;
            }
        });
    // Long enough that the waiters most likely sleep; the verdict holds wherever they are.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    counter = 0;
    lock.ReleaseLock();
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 300000);
}
