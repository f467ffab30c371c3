// The password's buffer: pages of its own, out of core dumps, zeros after
// a wipe, and room enough for any length.

#include "platform/SecretBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <unistd.h>

namespace {

bool AllZero(const char* p, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

TEST(CSecretBuffer, LivesOnPagesOfItsOwnOutOfDumpsAndIsZeroedWhenWiped) {
    const auto nPage = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    CSecretBuffer secret;
    EXPECT_TRUE(secret.IsEmpty());
    secret.Assign(""); // no password: no pages at all
    EXPECT_EQ(secret.Data(), nullptr);
    secret.Assign("Secret-Pass-42");
    EXPECT_EQ(secret.View(), "Secret-Pass-42");
    // Page-aligned and whole pages: nothing else shares them.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(secret.Data()) % nPage, 0u);
    EXPECT_EQ(secret.Capacity() % nPage, 0u);
    EXPECT_TRUE(secret.IsExcludedFromDumps());

    const char* pData = secret.Data();
    const size_t nCapacity = secret.Capacity();
    secret.Wipe();
    EXPECT_TRUE(secret.IsEmpty());
    EXPECT_TRUE(AllZero(pData, nCapacity));

    // A longer secret than one page holds, then a shorter one in the same room.
    const std::string longer(nPage + 10, 'p');
    secret.Assign(longer);
    EXPECT_EQ(secret.View(), longer);
    EXPECT_GE(secret.Capacity(), longer.size() + 1);
    EXPECT_TRUE(secret.IsExcludedFromDumps());
    secret.Assign("short");
    EXPECT_EQ(secret.View(), "short");
    EXPECT_TRUE(AllZero(secret.Data() + 5, secret.Capacity() - 5));

    CString copy("Secret-Pass-42");
    const char* pCopy = copy.Str().data();
    WipeString(copy);
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_TRUE(AllZero(pCopy, 14)); // still the same (short-string) storage
}

} // namespace
