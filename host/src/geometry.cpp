#include "vertexa/geometry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Print texts live in a ring of buffers so that a few of them can be used in
// one log statement; the ninth call reuses the first buffer.
constexpr int kRingSize = 8;
constexpr int kTextSize = 512;

char* next_print_buffer() {
    static char ring[kRingSize][kTextSize];
    static int next = 0;
    char* buffer = ring[next];
    next = (next + 1) % kRingSize;
    return buffer;
}

}  // namespace

const char* MVector3::Print() const {
    char* out = next_print_buffer();
    std::snprintf(out, kTextSize, "(%.17g, %.17g, %.17g)", v_[0], v_[1], v_[2]);
    return out;
}

MMatrix::MMatrix(int identity) {
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) m_[i][k] = (identity != 0 && i == k) ? 1.0 : 0.0;
}

void MMatrix::Init() {
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) m_[i][k] = (i == k) ? 1.0 : 0.0;
}

const char* MMatrix::Print() const {
    char* out = next_print_buffer();
    int used = 0;
    out[0] = '\0';
    for (int i = 0; i < 4; ++i) {
        int n = std::snprintf(out + used, static_cast<size_t>(kTextSize - used), "%s[%.17g, %.17g, %.17g, %.17g]",
                              i == 0 ? "[" : ", ", m_[i][0], m_[i][1], m_[i][2], m_[i][3]);
        if (n < 0 || n >= kTextSize - used) return out;
        used += n;
    }
    if (used + 1 < kTextSize) {
        out[used] = ']';
        out[used + 1] = '\0';
    }
    return out;
}

void MIPolygon::ReserveHeap(uint32_t capacity) {
    auto* heap = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * capacity));
    if (heap == nullptr) return;  // the inline buffer stays; Add grows later
    data_ = heap;
    capacity_ = capacity;
}

int MIPolygon::GrowAndAdd(int32_t index) {
    if (capacity_ > 0x3FFFFFFFu) return -1;
    const uint32_t grown = capacity_ * 2;
    auto* heap = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * grown));
    if (heap == nullptr) return -1;
    std::memcpy(heap, data_, sizeof(int32_t) * count_);
    if (data_ != inline_) std::free(data_);
    data_ = heap;
    capacity_ = grown;
    data_[count_++] = index;
    return static_cast<int>(count_);
}
