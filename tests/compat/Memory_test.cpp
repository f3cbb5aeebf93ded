// LocalAlloc, LocalSize and LocalFree on fixed memory.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(LocalMemoryTest, ZeroInitialisedBlocksHoldAtLeastTheirSize) {
    for (SIZE_T size : {SIZE_T{1}, SIZE_T{100}, SIZE_T{65536}}) {
        SCOPED_TRACE(size);
        unsigned char* block = static_cast<unsigned char*>(LocalAlloc(LPTR, size));
        ASSERT_NE(block, nullptr);
        EXPECT_GE(LocalSize(block), size);
        SIZE_T nonZero = 0;
        for (SIZE_T i = 0; i < size; ++i) nonZero += block[i] != 0;
        EXPECT_EQ(nonZero, 0u);
        memset(block, 0xAB, size);  // all of it is ours to write
        EXPECT_EQ(LocalFree(block), nullptr);
    }
}

TEST(LocalMemoryTest, FixedBlocksKeepWhatIsWritten) {
    char* first = static_cast<char*>(LocalAlloc(LMEM_FIXED, 6));
    char* second = static_cast<char*>(LocalAlloc(LMEM_FIXED, 6));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    memcpy(first, "first", 6);
    memcpy(second, "other", 6);
    EXPECT_STREQ(first, "first");
    EXPECT_EQ(LocalFree(first), nullptr);
    EXPECT_STREQ(second, "other");
    EXPECT_EQ(LocalFree(second), nullptr);
}

TEST(LocalMemoryTest, FreeingNothingSucceeds) { EXPECT_EQ(LocalFree(nullptr), nullptr); }

}  // namespace
