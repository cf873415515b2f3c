#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "utils/thread.h"

namespace {

// A gate the test opens when it wants the body to finish.
struct Gate {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    bool entered = false;
    void Open() {
        std::lock_guard<std::mutex> l(m);
        open = true;
        cv.notify_all();
    }
};

TEST(Thread, DoesNotRunBeforeStartAndRunsBodyWithContext) {
    std::atomic<int> runs{0};
    int context = 42;
    std::atomic<void*> seen{nullptr};
    {
        Utils::Thread t(&context, L"ABDEF", [&](void* c) {
            seen = c;
            ++runs;
            return 0u;
        });
        ASSERT_TRUE(t.IsCreated());
        EXPECT_NE(t.Id(), Utils::Thread::kNoThread);
        EXPECT_EQ(runs.load(), 0);
        EXPECT_TRUE(t.Start());
        EXPECT_FALSE(t.Start());  // only once
        t.Join();
        EXPECT_EQ(t.Id(), Utils::Thread::kNoThread);
        t.Join();  // a second Join is harmless
    }
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(seen.load(), &context);
}

TEST(Thread, DestructionWaitsForTheRunningBody) {
    Gate gate;
    std::atomic<bool> finished{false};
    auto t = std::make_unique<Utils::Thread>(nullptr, L"", [&](void*) {
        std::unique_lock<std::mutex> l(gate.m);
        gate.entered = true;
        gate.cv.notify_all();
        gate.cv.wait(l, [&] { return gate.open; });
        finished = true;
        return 0u;
    });
    ASSERT_TRUE(t->Start());
    {
        std::unique_lock<std::mutex> l(gate.m);
        gate.cv.wait(l, [&] { return gate.entered; });
    }
    std::thread opener([&] { gate.Open(); });
    t.reset();  // blocks until the body returns
    EXPECT_TRUE(finished.load());
    opener.join();
}

TEST(Thread, NeverStartedThreadIsLetGoWithoutRunningItsBody) {
    std::atomic<int> runs{0};
    {
        Utils::Thread t(nullptr, L"UnInstaller", [&](void*) {
            ++runs;
            return 0u;
        });
        EXPECT_TRUE(t.IsCreated());
    }
    EXPECT_EQ(runs.load(), 0);
}

TEST(Thread, DebuggerNameIsTheNameOrTPlusId) {
    EXPECT_EQ(Utils::Thread::DebuggerName(L"", 7412), "t7412");
    EXPECT_EQ(Utils::Thread::DebuggerName(L"ABDEF", 7412), "ABDEF");
}

}  // namespace
