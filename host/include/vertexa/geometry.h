// Vectors, matrices and index polygons of the host library.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "vertexa/api.h"
#include "vertexa/memory.h"

// A point or direction; texture vertices use it as (u, v, 0).
class VX_API MVector3 {
public:
    MVector3() = default;
    MVector3(double x, double y, double z) : v_{x, y, z} {}
    void Init(double x, double y, double z) { v_[0] = x; v_[1] = y; v_[2] = z; }
    double& operator[](int i) { return v_[i]; }
    const double& operator[](int i) const { return v_[i]; }
    // "(x, y, z)" with round-trip precision. The text lives in a small ring
    // of static buffers: it stays valid for the next few Print calls only.
    const char* Print() const;

private:
    double v_[3] = {0.0, 0.0, 0.0};
};

// A 4x4 matrix in the host's row-vector convention: a point p maps to
// p' = p * M, so rows 0 to 2 hold the images of the axes and row 3 holds the
// translation.
class VX_API MMatrix {
public:
    // With a non-zero argument the matrix starts as the identity, else as zero.
    explicit MMatrix(int identity = 1);
    // Resets the matrix to the identity.
    void Init();
    double* operator[](int row) { return m_[row]; }
    const double* operator[](int row) const { return m_[row]; }
    // "[[a, b, c, d], [...], [...], [...]]", rows in order; ring buffer as MVector3::Print.
    const char* Print() const;
    // The image of a point (translation applied).
    MVector3 TransformPoint(const MVector3& p) const {
        MVector3 r;
        for (int k = 0; k < 3; ++k) r[k] = p[0] * m_[0][k] + p[1] * m_[1][k] + p[2] * m_[2][k] + m_[3][k];
        return r;
    }

private:
    double m_[4][4];
};

// One polygon under construction: an ordered list of indices with a material
// id. Small polygons keep their indices inline, larger ones on the heap.
class VX_API MIPolygon : public vertexa::HostObject {
public:
    // Room for `reserve` indices; up to 8 they are kept inline.
    explicit MIPolygon(int reserve = 0) : data_(inline_) {
        if (reserve > static_cast<int>(kInline)) ReserveHeap(static_cast<uint32_t>(reserve));
    }
    ~MIPolygon() {
        if (data_ != inline_) std::free(data_);
    }
    MIPolygon(const MIPolygon&) = delete;
    MIPolygon& operator=(const MIPolygon&) = delete;

    // Appends an index; returns the new count, or -1 when memory ran out.
    // Inline up to the capacity: readers add millions of indices.
    int Add(int32_t index) {
        if (count_ == capacity_) return GrowAndAdd(index);
        data_[count_++] = index;
        return static_cast<int>(count_);
    }
    void Set_MatId(int32_t id) { mat_id_ = id; }
    int32_t Get_MatId() const { return mat_id_; }
    // Reverses the winding: the indices in reverse order.
    void Flip() {
        if (count_ < 2) return;
        for (uint32_t i = 0, j = count_ - 1; i < j; ++i, --j) {
            const int32_t t = data_[i];
            data_[i] = data_[j];
            data_[j] = t;
        }
    }
    int Get_Count() const { return static_cast<int>(count_); }
    const int32_t* Data() const { return data_; }

private:
    int GrowAndAdd(int32_t index);
    void ReserveHeap(uint32_t capacity);

    static constexpr uint32_t kInline = 8;
    int32_t inline_[kInline];
    int32_t* data_;
    uint32_t count_ = 0;
    uint32_t capacity_ = kInline;
    int32_t mat_id_ = 0;
};
