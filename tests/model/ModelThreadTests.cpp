#include "model/EntryNode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <set>
#include <thread>

namespace {

// Runs fn(0..nThreads-1) on that many threads, released at one moment.
void RunTogether(int nThreads, const std::function<void(int)>& fn) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t) {
        threads.emplace_back([&, t] {
            while (!go)
                std::this_thread::yield();
            fn(t);
        });
    }
    go = true;
    for (auto& th : threads)
        th.join();
}

} // namespace

// Two workers of one source can change one children list at once (an
// expansion linking at the head while an add links below the same entry).
TEST(CEntryNodeThreads, ConcurrentChildChangesKeepTheListIntact) {
    CEntryNode parent;
    constexpr int kPerThread = 2000;
    std::vector<std::unique_ptr<CEntryNode>> nodes;
    for (int i = 0; i < 4 * kPerThread; ++i)
        nodes.push_back(std::make_unique<CEntryNode>());
    RunTogether(5, [&](int t) {
        // The fifth is a reader walking snapshots at the same time.
        for (int i = 0; t == 4 && i < 200; ++i)
            (void)parent.GetChildren();
        for (int i = 0; t < 4 && i < kPerThread; ++i) {
            CEntryNode* p = nodes[static_cast<size_t>(t * kPerThread + i)].get();
            p->SetParent(&parent);
            if (t % 2)
                parent.AddChildHead(p);
            else
                parent.AddChildTail(p);
            if (i % 4 == 3)
                parent.RemoveChild(p);
            (void)parent.GetChildCount();
        }
    });
    std::vector<CEntryNode*> children = parent.GetChildren();
    EXPECT_EQ(children.size(), static_cast<size_t>(4 * kPerThread * 3 / 4));
    EXPECT_EQ(std::set<CEntryNode*>(children.begin(), children.end()).size(), children.size());
}

TEST(CEntryNodeThreads, FlagsAndStopFlagAreSafeAcrossThreads) {
    CEntryNode top;
    std::vector<std::unique_ptr<CEntryNode>> children;
    for (int i = 0; i < 4; ++i) {
        children.push_back(std::make_unique<CEntryNode>());
        children.back()->SetParent(&top);
    }
    RunTogether(4, [&](int t) {
        for (int i = 0; i < 2000; ++i) {
            children[static_cast<size_t>(t)]->BeginOperation(OP_READ_ATTRIBUTES);
            (void)top.CanRefresh();
            children[static_cast<size_t>(t)]->EndOperation(OP_READ_ATTRIBUTES);
            if (i % 100 == 0) {
                CEntryNode::RequestStop();
                CEntryNode fresh; // clears the flag from a worker
                (void)CEntryNode::IsStopRequested();
            }
        }
    });
    EXPECT_TRUE(top.CanRefresh());
}
