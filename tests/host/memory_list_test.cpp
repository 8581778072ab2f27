// The host allocator and the host object list.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "vertexa/list.h"
#include "vertexa/memory.h"

namespace {

using vertexa::alloc_fail_after;
using vertexa::alloc_stats;

// Turns failure injection off even when an assertion leaves the test early.
struct NoFailureAfterwards {
    ~NoFailureAfterwards() { alloc_fail_after(0); }
};

TEST(HostAllocator, BlocksAreAlignedCountedAndReleased) {
    const vertexa::AllocStats before = alloc_stats();
    void* empty = my_malloc(0);
    void* big = my_malloc(1000);
    char* copy = my_strdup("d:\\map\\;");
    ASSERT_TRUE(empty && big && copy);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(empty) % alignof(std::max_align_t), 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(big) % alignof(std::max_align_t), 0u);
    std::memset(big, 0xAB, 1000);
    EXPECT_STREQ(copy, "d:\\map\\;");
    EXPECT_EQ(my_strdup(nullptr), nullptr);

    const vertexa::AllocStats during = alloc_stats();
    EXPECT_EQ(during.live_blocks, before.live_blocks + 3);
    EXPECT_EQ(during.live_bytes, before.live_bytes + 1009);
    EXPECT_EQ(during.total_allocs, before.total_allocs + 3);
    my_free(empty);
    my_free(big);
    my_free(copy);
    my_free(nullptr);
    const vertexa::AllocStats after = alloc_stats();
    EXPECT_EQ(after.live_blocks, before.live_blocks);
    EXPECT_EQ(after.live_bytes, before.live_bytes);
    EXPECT_GE(after.peak_bytes, before.live_bytes + 1009);  // the high-water mark stays
}

TEST(HostAllocator, InjectedFailureHitsOnlyTheNamedAllocation) {
    NoFailureAfterwards guard;
    const vertexa::AllocStats before = alloc_stats();
    alloc_fail_after(2);
    void* first = my_malloc(8);
    void* second = my_malloc(8);
    void* third = my_malloc(8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    my_free(first);
    my_free(third);
    alloc_fail_after(1);
    EXPECT_EQ(my_strdup("x"), nullptr);
    struct Thing : vertexa::HostObject {
        int value;
    };
    alloc_fail_after(1);
    EXPECT_EQ(new Thing, nullptr);  // a host object's new yields null, no exception
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks);
}

TEST(HostAllocatorDeathTest, ForeignPointerOrDoubleFreeAborts) {
    // Inside a buffer of our own: only the allocator's check can object.
    alignas(64) static unsigned char buffer[128] = {};
    EXPECT_DEATH(my_free(buffer + 64), "not a live block");
    EXPECT_DEATH(my_free(buffer + 65), "not a block of the host allocator");
    // With the address sanitizer built in, it reports the second release first.
    EXPECT_DEATH(
        {
            void* block = my_malloc(32);
            my_free(block);
            my_free(block);
        },
#if defined(_WIN32)
        "released twice");  // GoogleTest's regular expressions on Windows have no '|'
#else
        "released twice|use-after-free");
#endif
}

class HostList : public ::testing::Test {
protected:
    void TearDown() override { list.free_nodes(); }
    MList list;
    int a = 1, b = 2, c = 3, d = 4;
};

TEST_F(HostList, GetByIndexWalksTheCursorAndClampsTheIndex) {
    EXPECT_EQ(list.get(0), nullptr);  // a new list
    EXPECT_EQ(list.is_empty(), 1);
    ASSERT_TRUE(list.append(&a) && list.append(&b) && list.append(&c));
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list.cursor_index, 2);
    EXPECT_EQ(list.mark, list.tail);
    EXPECT_EQ(list.get(0), &a);
    EXPECT_EQ(list.get(1), &b);
    EXPECT_EQ(list.get(7), &c);
    EXPECT_EQ(list.cursor_index, 2);
    EXPECT_EQ(list.get(-3), &a);
    EXPECT_EQ(list.cursor_index, 0);
    EXPECT_EQ(list.get(INT32_MIN), &a);
    EXPECT_EQ(list.get(INT32_MAX), &c);

    list.get(0);
    ASSERT_TRUE(list.append(&d));
    EXPECT_EQ(list.cursor_index, 3);
    EXPECT_EQ(list.mark_index, 3);
    EXPECT_EQ(list.cursor->item, &d);
    EXPECT_EQ(list.tail->prev->prev->prev, list.head);

    // A cursor standing nowhere yields null and stays.
    list.cursor_index = -1;
    MListNode* const cursor = list.cursor;
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(list.get(-1), nullptr);
    EXPECT_EQ(list.move(1), 1);
    EXPECT_EQ(list.cursor_index, -1);
    EXPECT_EQ(list.cursor, cursor);
}

TEST_F(HostList, NodesAreHostBlocksAndAFailedAppendLinksNothing) {
    NoFailureAfterwards guard;
    const vertexa::AllocStats before = alloc_stats();
    list.append(&a);
    list.append(&b);
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks + 2);
    list.get(0);
    alloc_fail_after(1);
    EXPECT_FALSE(list.append(&c));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(list.tail->next, nullptr);
    EXPECT_EQ(list.cursor_index, 0);
    EXPECT_EQ(list.get(5), &b);
    list.free_nodes();
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks);
    EXPECT_EQ(alloc_stats().live_bytes, before.live_bytes);
}

}  // namespace
