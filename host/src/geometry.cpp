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

MVector3 MMatrix::TransformPoint(const MVector3& p) const {
    MVector3 r;
    for (int k = 0; k < 3; ++k) r[k] = p[0] * m_[0][k] + p[1] * m_[1][k] + p[2] * m_[2][k] + m_[3][k];
    return r;
}

MIPolygon::MIPolygon(int reserve) : data_(inline_) {
    if (reserve > static_cast<int>(kInline)) {
        auto* heap = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * static_cast<size_t>(reserve)));
        if (heap != nullptr) {
            data_ = heap;
            capacity_ = static_cast<uint32_t>(reserve);
        }
    }
}

MIPolygon::~MIPolygon() {
    if (data_ != inline_) std::free(data_);
}

int MIPolygon::Add(int32_t index) {
    if (count_ == capacity_) {
        if (capacity_ > 0x3FFFFFFFu) return -1;
        uint32_t grown = capacity_ * 2;
        auto* heap = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * grown));
        if (heap == nullptr) return -1;
        std::memcpy(heap, data_, sizeof(int32_t) * count_);
        if (data_ != inline_) std::free(data_);
        data_ = heap;
        capacity_ = grown;
    }
    data_[count_++] = index;
    return static_cast<int>(count_);
}

void MIPolygon::Flip() {
    if (count_ < 2) return;
    for (uint32_t i = 0, j = count_ - 1; i < j; ++i, --j) {
        int32_t t = data_[i];
        data_[i] = data_[j];
        data_[j] = t;
    }
}
