#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// A million freed nodes held in fast lists cost a pause of some 200 ms at
// the next large allocation; none may be held after the set-up.
TEST(MemoryTests, FreedSmallBlocksAreNotHeldInFastLists) {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    TuneAllocator();
    std::vector<void*> blocks;
    for (int i = 0; i < 10000; ++i)
        blocks.push_back(std::malloc(48 + (i % 4) * 16));
    for (void* pBlock : blocks)
        std::free(pBlock);
    EXPECT_EQ(mallinfo2().fsmblks, 0u);
#else
    GTEST_SKIP() << "glibc's own allocator only";
#endif
}
