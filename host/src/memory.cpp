// The host allocator: std::malloc blocks with a 16-byte header in front.
//
// The header holds a magic word (mixed with the block's own address, so that a
// stale copy of a header elsewhere in memory does not pass for a live block)
// and the requested size, which feeds the live-byte counters. my_free checks
// the header before releasing and clears the magic, so a pointer that never
// came from here, or one released a second time, is caught instead of being
// handed to the C library. Catching a second release reads memory that was
// already returned, so it is a best effort: it goes unnoticed when a later
// my_malloc handed out the same address again, and a large block that the C
// library gave back to the system faults on the read instead.
#include "vertexa/memory.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace {

struct alignas(std::max_align_t) BlockHeader {
    uint64_t magic;
    uint64_t size;
};
static_assert(sizeof(BlockHeader) % alignof(std::max_align_t) == 0,
              "the header must keep the user block aligned");

constexpr uint64_t kLiveMagic = 0x56585f4c49564521ull;  // "VX_LIVE!"

std::atomic<uint64_t> g_live_blocks{0};
std::atomic<uint64_t> g_live_bytes{0};
std::atomic<uint64_t> g_peak_bytes{0};
std::atomic<uint64_t> g_total_allocs{0};
// Allocations left until the injected failure; 0 = no failure planned.
std::atomic<uint64_t> g_fail_countdown{0};

uint64_t live_magic_for(const BlockHeader* header) {
    return kLiveMagic ^ static_cast<uint64_t>(reinterpret_cast<uintptr_t>(header));
}

// True when this allocation is the one a test asked to fail. The countdown is
// one-shot: after the failing allocation the injection is off again.
bool injected_failure() {
    uint64_t left = g_fail_countdown.load(std::memory_order_relaxed);
    while (left != 0) {
        if (g_fail_countdown.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) {
            return left == 1;
        }
    }
    return false;
}

// The C library's blocks, aligned for the header. Windows' malloc aligns to
// 8 bytes only in 32-bit programs, less than the header asks for.
void* raw_alloc(std::size_t bytes) {
#if defined(_WIN32)
    return ::_aligned_malloc(bytes, alignof(BlockHeader));
#else
    return std::malloc(bytes);
#endif
}

void raw_free(void* raw) {
#if defined(_WIN32)
    ::_aligned_free(raw);
#else
    std::free(raw);
#endif
}

[[noreturn]] void die(const char* what, const void* block) {
    std::fprintf(stderr, "vertexa: my_free(%p): %s\n", block, what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace

void* my_malloc(unsigned size) {
    if (injected_failure()) return nullptr;
    // In a 32-bit program the header and a size near 4 GiB would wrap.
    if (static_cast<std::size_t>(size) > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    void* raw = raw_alloc(sizeof(BlockHeader) + static_cast<std::size_t>(size));
    if (raw == nullptr) return nullptr;
    auto* header = static_cast<BlockHeader*>(raw);
    header->magic = live_magic_for(header);
    header->size = size;

    g_live_blocks.fetch_add(1, std::memory_order_relaxed);
    g_total_allocs.fetch_add(1, std::memory_order_relaxed);
    const uint64_t live = g_live_bytes.fetch_add(size, std::memory_order_relaxed) + size;
    uint64_t peak = g_peak_bytes.load(std::memory_order_relaxed);
    while (live > peak && !g_peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    return header + 1;
}

void my_free(void* block) {
    if (block == nullptr) return;
    // Our blocks are always aligned; a misaligned pointer cannot be ours, and
    // reading a header in front of it would itself be undefined.
    if (reinterpret_cast<uintptr_t>(block) % alignof(BlockHeader) != 0) {
        die("not a block of the host allocator", block);
    }
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->magic != live_magic_for(header)) {
        die("not a live block of the host allocator (foreign pointer or released twice)", block);
    }
    // Volatile: a plain store just before free() may be dropped by the compiler.
    *static_cast<volatile uint64_t*>(&header->magic) = 0;
    g_live_blocks.fetch_sub(1, std::memory_order_relaxed);
    g_live_bytes.fetch_sub(header->size, std::memory_order_relaxed);
    raw_free(header);
}

char* my_strdup(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    if (length >= 0xFFFFFFFFu) return nullptr;  // beyond what my_malloc can be asked for
    char* copy = static_cast<char*>(my_malloc(static_cast<unsigned>(length + 1)));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length + 1);
    return copy;
}

namespace vertexa {

AllocStats alloc_stats() {
    AllocStats stats;
    stats.live_blocks = g_live_blocks.load(std::memory_order_relaxed);
    stats.live_bytes = g_live_bytes.load(std::memory_order_relaxed);
    stats.peak_bytes = g_peak_bytes.load(std::memory_order_relaxed);
    stats.total_allocs = g_total_allocs.load(std::memory_order_relaxed);
    return stats;
}

void alloc_fail_after(uint64_t n) { g_fail_countdown.store(n, std::memory_order_relaxed); }

}  // namespace vertexa
