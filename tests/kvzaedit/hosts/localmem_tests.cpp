// Local memory handles: sizes, zero-filling, locking and freeing.
#include "localmem.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

TEST(LocalMem, ZeroInitBlockIsZeroAndKnowsItsSize) {
    HLOCAL h = LocalAlloc(LHND, 1000);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(LocalSize(h), 1000u);
    auto *p = static_cast<unsigned char *>(LocalLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(p[i], 0) << i;
    std::memset(p, 0xAB, 1000);  // the whole block is writable
    EXPECT_EQ(LocalUnlock(h), 0);
    EXPECT_EQ(LocalFree(h), nullptr);
}

TEST(LocalMem, BlockIsAlignedForAnyData) {
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE, 24);
    void *p = LocalLock(h);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    LocalUnlock(h);
    LocalFree(h);
}

TEST(LocalMem, LocksNest) {
    HLOCAL h = LocalAlloc(LMEM_FIXED, 8);
    void *first = LocalLock(h);
    void *second = LocalLock(h);
    EXPECT_EQ(first, second);
    EXPECT_NE(LocalUnlock(h), 0);  // still locked once
    EXPECT_EQ(LocalUnlock(h), 0);
    EXPECT_EQ(LocalUnlock(h), 0);  // not locked: nothing to undo
    LocalFree(h);
}

TEST(LocalMem, EmptyBlockCannotBeLocked) {
    HLOCAL h = LocalAlloc(LMEM_MOVEABLE, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(LocalSize(h), 0u);
    EXPECT_EQ(LocalLock(h), nullptr);
    EXPECT_EQ(LocalFree(h), nullptr);
}

TEST(LocalMem, NullHandle) {
    EXPECT_EQ(LocalLock(nullptr), nullptr);
    EXPECT_EQ(LocalUnlock(nullptr), 0);
    EXPECT_EQ(LocalSize(nullptr), 0u);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
}

TEST(LocalMem, PointerFromElsewhereIsRefused) {
    void *block = std::calloc(1, 64);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(LocalLock(block), nullptr);
    EXPECT_EQ(LocalSize(block), 0u);
    EXPECT_EQ(LocalFree(block), block);  // not freed: the handle comes back
    std::free(block);
}

TEST(LocalMem, ImpossibleSizeGivesNoHandle) {
    EXPECT_EQ(LocalAlloc(LHND, SIZE_MAX), nullptr);
    EXPECT_EQ(LocalAlloc(LHND, SIZE_MAX - 8), nullptr);
}

}  // namespace
