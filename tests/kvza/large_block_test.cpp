// Blocks for pictures and whole files: small ones from the heap, large ones
// mapped on large-page boundaries; every size usable from its first to its
// last byte, a fresh large block reading as zero, and a block taken again
// (larger, smaller, across the heap/mapping limit) releasing the old one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "large_block.h"

TEST(ByteBlock, EverySizeIsUsableAndLargeOnesAreAlignedAndZero) {
    const uint64_t sizes[] = {0,
                              1,
                              kvza::kLargePage - 1,
                              kvza::kLargePage,
                              kvza::kLargePage + 1,
                              5 * kvza::kLargePage + 12345,
                              100,
                              3 * kvza::kLargePage};
    kvza::ByteBlock block;  // taken again for each size
    for (const uint64_t n : sizes) {
        ASSERT_TRUE(block.allocate(n)) << n;
        ASSERT_NE(block.data(), nullptr) << n;
        EXPECT_EQ(block.size(), n);
        if (n >= kvza::kLargePage) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(block.data()) % kvza::kLargePage, 0U) << n;
            EXPECT_EQ(block.data()[0], 0);
            EXPECT_EQ(block.data()[n / 2], 0);
            EXPECT_EQ(block.data()[n - 1], 0);
        }
        if (n > 0) {
            std::memset(block.data(), 0xA5, n);
            EXPECT_EQ(block.data()[n - 1], 0xA5);
        }
    }
}

TEST(ByteBlock, ImpossibleSizesFailCleanly) {
    kvza::ByteBlock block;
    EXPECT_FALSE(block.allocate(UINT64_MAX));
    EXPECT_EQ(block.data(), nullptr);
    EXPECT_EQ(block.size(), 0U);
    // More than any address space: the mapping is refused, not rounded over.
    EXPECT_FALSE(block.allocate(uint64_t{1} << 62));
    EXPECT_EQ(block.size(), 0U);
    ASSERT_TRUE(block.allocate(64));  // and the block still works afterwards
    std::memset(block.data(), 1, 64);
}
