// The host allocator.
//
// Every object that a plug-in hands over to the host (scenes, meshes, surfaces,
// texture layers, list nodes, texts) is allocated here, so that the host can
// free it. Blocks carry a small header that lets the host check every release
// and count the blocks still alive; tests use the counters and the failure
// injection to prove that an import frees everything and survives a failed
// allocation at any point.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vertexa/api.h"

// Returns a block of at least `size` bytes, or null when the memory cannot be
// had (or when a test asked for this allocation to fail).
VX_API void* my_malloc(unsigned size);

// Releases a block from my_malloc or my_strdup; null is ignored. A pointer that
// did not come from this allocator, or a block released twice, aborts the
// process with a message on stderr instead of corrupting the heap.
VX_API void my_free(void* block);

// A copy of the NUL-terminated text, to be released with my_free; null when
// the text is null or the allocation fails.
VX_API char* my_strdup(const char* text);

namespace vertexa {

struct AllocStats {
    uint64_t live_blocks;   // blocks handed out and not yet released
    uint64_t live_bytes;    // their requested sizes, summed
    uint64_t peak_bytes;    // the highest live_bytes seen
    uint64_t total_allocs;  // successful allocations since start
};

VX_API AllocStats alloc_stats();

// Makes allocation number `n` from now on fail (1 = the next one); 0 turns the
// injection off. Used by tests that fail each allocation of an import in turn.
VX_API void alloc_fail_after(uint64_t n);

// Base of every host class that crosses the plug-in boundary: its objects live
// in host-allocator blocks whichever module news or deletes them. A failed
// allocation makes the new-expression yield null (the operator is noexcept),
// so callers test the result instead of catching an exception.
struct HostObject {
    static void* operator new(std::size_t size) noexcept { return my_malloc(static_cast<unsigned>(size)); }
    static void operator delete(void* block) noexcept { my_free(block); }
    static void* operator new[](std::size_t size) noexcept { return my_malloc(static_cast<unsigned>(size)); }
    static void operator delete[](void* block) noexcept { my_free(block); }
};

}  // namespace vertexa
