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

TEST(HostAllocator, BlocksAreAlignedCountedReleasedAndFailOnlyWhereTold) {
    NoFailureAfterwards guard;
    const vertexa::AllocStats before = alloc_stats();
    void* blocks[3] = {my_malloc(0), my_malloc(1000), my_strdup("d:\\map\\;")};
    for (void* b : blocks) {
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(std::max_align_t), 0u);
    }
    std::memset(blocks[1], 0xAB, 1000);
    EXPECT_STREQ(static_cast<char*>(blocks[2]), "d:\\map\\;");
    EXPECT_EQ(my_strdup(nullptr), nullptr);
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks + 3);
    EXPECT_EQ(alloc_stats().live_bytes, before.live_bytes + 1009);
    EXPECT_EQ(alloc_stats().total_allocs, before.total_allocs + 3);
    for (void* b : blocks) my_free(b);
    my_free(nullptr);
    EXPECT_EQ(alloc_stats().live_bytes, before.live_bytes);
    EXPECT_GE(alloc_stats().peak_bytes, before.live_bytes + 1009);  // the high-water mark stays

    alloc_fail_after(2);
    void* first = my_malloc(8);
    EXPECT_EQ(my_malloc(8), nullptr);
    void* third = my_malloc(8);
    EXPECT_TRUE(first != nullptr && third != nullptr);
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

// get walks the cursor from where it stands and clamps the index; append
// moves the cursor and the mark to the new tail; a cursor standing nowhere
// yields null and stays; a failed append links nothing.
TEST(HostList, GetWalksTheCursorClampsAndAppendsAreHostBlocks) {
    NoFailureAfterwards guard;
    const vertexa::AllocStats before = alloc_stats();
    MList list;
    int a = 1, b = 2, c = 3, d = 4;
    EXPECT_EQ(list.get(0), nullptr);
    ASSERT_TRUE(list.append(&a) && list.append(&b) && list.append(&c));
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks + 3);
    EXPECT_EQ(list.mark, list.tail);
    const struct {
        int32_t index;
        int* item;
        int32_t cursor;
    } gets[] = {{0, &a, 0}, {1, &b, 1}, {7, &c, 2}, {-3, &a, 0}, {INT32_MAX, &c, 2}, {INT32_MIN, &a, 0}};
    for (const auto& g : gets) {
        EXPECT_EQ(list.get(g.index), g.item) << g.index;
        EXPECT_EQ(list.cursor_index, g.cursor) << g.index;
    }
    ASSERT_TRUE(list.append(&d));
    EXPECT_EQ(list.cursor_index, 3);
    EXPECT_EQ(list.mark_index, 3);
    EXPECT_EQ(list.cursor->item, &d);
    EXPECT_EQ(list.tail->prev->prev->prev, list.head);

    list.get(0);
    alloc_fail_after(1);
    EXPECT_FALSE(list.append(&c));
    EXPECT_EQ(list.size(), 4u);
    EXPECT_EQ(list.tail->next, nullptr);
    EXPECT_EQ(list.cursor_index, 0);

    list.cursor_index = -1;
    MListNode* const cursor = list.cursor;
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(list.move(1), 1);
    EXPECT_EQ(list.cursor_index, -1);
    EXPECT_EQ(list.cursor, cursor);
    list.free_nodes();
    EXPECT_EQ(list.get(0), nullptr);
    EXPECT_EQ(alloc_stats().live_blocks, before.live_blocks);
}

}  // namespace
