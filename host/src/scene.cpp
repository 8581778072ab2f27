#include "vertexa/scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// Asks the system to back the untouched part of a large array with huge
// pages when it is first written: filling a mesh of a million vertices with
// 4 KiB pages cost some 27,000 page faults, about two fifths of the import
// of a binary file. Only whole 2 MiB ranges inside the array qualify, so at
// most the last, partly used, huge page holds memory the array does not use.
template <typename T>
void advise_huge_pages(const std::vector<T>& v) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const size_t bytes = v.capacity() * sizeof(T);
    if (bytes < 2 * kHuge) return;
    const uintptr_t used_end = reinterpret_cast<uintptr_t>(v.data() + v.size());
    const uintptr_t start = (used_end + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(v.data()) + bytes) & ~(kHuge - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)v;
#endif
}

}  // namespace

// ---------------------------------------------------------------------------
bool MPolygonList::Add(const MIPolygon& p) {
    return AddOne(p.Data(), static_cast<uint32_t>(p.Get_Count()), p.Get_MatId());
}

bool MPolygonList::AddOne(const int32_t* indices, uint32_t n, int32_t mat_id) {
    if (static_cast<uint64_t>(index_.size()) + n > 0xFFFFFFFFull) return false;
    try {
        const size_t capacity = index_.capacity();
        index_.insert(index_.end(), indices, indices + n);
        if (index_.capacity() != capacity) advise_huge_pages(index_);
        start_.push_back(static_cast<uint32_t>(index_.size()));
        mat_.push_back(mat_id);
    } catch (const std::bad_alloc&) {
        // Keep the three arrays consistent: drop whatever part got in.
        index_.resize(start_.back());
        if (start_.size() > mat_.size() + 1) start_.pop_back();
        return false;
    }
    return true;
}

uint32_t MPolygonList::AddMany(const int32_t* indices, const uint32_t* counts, const int32_t* mat_ids,
                               uint32_t polygons) {
    uint64_t total = 0;
    for (uint32_t k = 0; k < polygons; ++k) total += counts[k];
    const size_t old_indices = index_.size(), old_polygons = mat_.size();
    if (old_indices + total <= 0xFFFFFFFFull) {
        try {
            const size_t capacity = index_.capacity();
            index_.insert(index_.end(), indices, indices + total);
            if (index_.capacity() != capacity) advise_huge_pages(index_);
            start_.resize(old_polygons + 1 + polygons);
            uint32_t* start = start_.data() + old_polygons;
            for (uint32_t k = 0; k < polygons; ++k) start[k + 1] = start[k] + counts[k];
            mat_.insert(mat_.end(), mat_ids, mat_ids + polygons);
            return polygons;
        } catch (const std::bad_alloc&) {
            index_.resize(old_indices);
            start_.resize(old_polygons + 1);
        }
    }
    // Short of memory or of index room: one at a time, each taken or not as Add would.
    uint32_t added = 0;
    for (uint32_t k = 0; k < polygons; indices += counts[k], ++k)
        if (AddOne(indices, counts[k], mat_ids[k])) added += 1;
    return added;
}

void MPolygonList::Reserve(uint32_t polygons) {
    try {
        start_.reserve(start_.size() + polygons);
        mat_.reserve(mat_.size() + polygons);
        // Room for quadrilaterals: what stays unused of it is address space,
        // not memory, as long as nothing writes there.
        index_.reserve(index_.size() + 4 * static_cast<size_t>(polygons));
        advise_huge_pages(start_);
        advise_huge_pages(mat_);
        advise_huge_pages(index_);
    } catch (const std::bad_alloc&) {
        // Only a hint: the lists grow as polygons arrive.
    }
}

uint64_t MPolygonList::Bytes() const {
    return start_.size() * sizeof(uint32_t) + index_.size() * sizeof(int32_t) + mat_.size() * sizeof(int32_t);
}

// ---------------------------------------------------------------------------
MObj3d::MObj3d(const char* name) : name_(name != nullptr ? name : "") {}
MObj3d::~MObj3d() = default;

MMesh_P::MMesh_P(const char* name) : MObj3d(name) {}

MMesh_P::~MMesh_P() {
    material_refs.for_each([](void* text) { my_free(text); });
    material_refs.free_nodes();
}

int MMesh_P::Add_Vertex(const MVector3& v, double /*weight*/) {
    try {
        vertices_.push_back(v);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return static_cast<int>(vertices_.size() - 1);
}

int MMesh_P::Add_UVVertex(const MVector3& uv, double /*weight*/) {
    try {
        uv_vertices_.push_back(uv);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return static_cast<int>(uv_vertices_.size() - 1);
}

namespace {

// Appends n elements to a list at once; short of memory, as many as fit one
// at a time, as push_back would.
uint32_t append_all(std::vector<MVector3>& list, const MVector3* v, uint32_t n) {
    try {
        list.insert(list.end(), v, v + n);
        return n;
    } catch (const std::bad_alloc&) {
    }
    uint32_t added = 0;
    try {
        for (; added < n; ++added) list.push_back(v[added]);
    } catch (const std::bad_alloc&) {
    }
    return added;
}

}  // namespace

uint32_t MMesh_P::Add_Vertices(const MVector3* v, uint32_t n) { return append_all(vertices_, v, n); }

uint32_t MMesh_P::Add_UVVertices(const MVector3* uv, uint32_t n) { return append_all(uv_vertices_, uv, n); }

uint32_t MMesh_P::Add_Faces(const int32_t* indices, const uint32_t* counts, const int32_t* mat_ids,
                            uint32_t polygons) {
    return faces_.AddMany(indices, counts, mat_ids, polygons);
}

uint32_t MMesh_P::Add_UVFaces(const int32_t* indices, const uint32_t* counts, const int32_t* mat_ids,
                              uint32_t polygons) {
    return uv_used_ != 0 ? uv_faces_.AddMany(indices, counts, mat_ids, polygons) : 0;
}

int MMesh_P::Add_Face(const MIPolygon& p) {
    if (!faces_.Add(p)) return -1;
    return static_cast<int>(faces_.Size() - 1);
}

int MMesh_P::Add_UVFace(const MIPolygon& p) {
    if (uv_used_ == 0 || !uv_faces_.Add(p)) return -1;
    return static_cast<int>(uv_faces_.Size() - 1);
}

void MMesh_P::Reserve(uint32_t vertices, uint32_t uv_vertices, uint32_t faces) {
    try {
        vertices_.reserve(vertices);
        uv_vertices_.reserve(uv_vertices);
        advise_huge_pages(vertices_);
        advise_huge_pages(uv_vertices_);
    } catch (const std::bad_alloc&) {
        // Only a hint: the lists grow as elements arrive.
    }
    if (static_cast<uint64_t>(faces) > faces_.Size()) faces_.Reserve(faces - faces_.Size());
    if (uv_used_ != 0 && static_cast<uint64_t>(faces) > uv_faces_.Size()) uv_faces_.Reserve(faces - uv_faces_.Size());
}

uint64_t MMesh_P::DataBytes() const {
    return (vertices_.size() + uv_vertices_.size()) * sizeof(MVector3) + faces_.Bytes() + uv_faces_.Bytes();
}

// ---------------------------------------------------------------------------
MSrf_TextureLayers::~MSrf_TextureLayers() {
    layers_.for_each([](void* layer) { delete static_cast<MSrf_TextureLayer*>(layer); });
    layers_.free_nodes();
}

bool MSrf_TextureLayers::Add(MSrf_TextureLayer* layer) {
    if (layer == nullptr) return false;
    return layers_.append(layer);
}

MSrf_TextureLayer* MSrf_TextureLayers::Get(uint32_t i) const {
    uint32_t k = 0;
    for (MListNode* n = layers_.head; n != nullptr; n = n->next, ++k)
        if (k == i) return static_cast<MSrf_TextureLayer*>(n->item);
    return nullptr;
}

MSurface::MSurface(const char* name) : name_(name != nullptr ? name : "") {}
MSurface::~MSurface() = default;

// ---------------------------------------------------------------------------
MScene::MScene(const char* name) : name_(name != nullptr ? name : "") {}

MScene::~MScene() {
    objects_.for_each([](void* o) { delete static_cast<MObj3d*>(o); });
    cameras_.for_each([](void* o) { delete static_cast<MObj3d*>(o); });
    lights_.for_each([](void* o) { delete static_cast<MObj3d*>(o); });
    surfaces_.for_each([](void* s) { delete static_cast<MSurface*>(s); });
    objects_.free_nodes();
    cameras_.free_nodes();
    lights_.free_nodes();
    surfaces_.free_nodes();
}

namespace {

// Widens the box lo..hi by the vertices, each through the matrix first
// unless it is null; the same arithmetic as MMatrix::TransformPoint.
// std::min(lo, p) and std::max(hi, p) keep lo and hi when p is NaN: a NaN
// coordinate has no place in a box.
void widen_box(double* lo, double* hi, const std::vector<MVector3>& vertices, const MMatrix* m) {
    double l0 = lo[0], l1 = lo[1], l2 = lo[2], h0 = hi[0], h1 = hi[1], h2 = hi[2];
    const MVector3* v = vertices.data();
    const MVector3* const end = v + vertices.size();
    if (m == nullptr) {
        for (; v != end; ++v) {
            const double x = (*v)[0], y = (*v)[1], z = (*v)[2];
            l0 = std::min(l0, x), l1 = std::min(l1, y), l2 = std::min(l2, z);
            h0 = std::max(h0, x), h1 = std::max(h1, y), h2 = std::max(h2, z);
        }
    } else {
        const MMatrix& a = *m;
        for (; v != end; ++v) {
            const double px = (*v)[0], py = (*v)[1], pz = (*v)[2];
            const double x = px * a[0][0] + py * a[1][0] + pz * a[2][0] + a[3][0];
            const double y = px * a[0][1] + py * a[1][1] + pz * a[2][1] + a[3][1];
            const double z = px * a[0][2] + py * a[1][2] + pz * a[2][2] + a[3][2];
            l0 = std::min(l0, x), l1 = std::min(l1, y), l2 = std::min(l2, z);
            h0 = std::max(h0, x), h1 = std::max(h1, y), h2 = std::max(h2, z);
        }
    }
    lo[0] = l0, lo[1] = l1, lo[2] = l2, hi[0] = h0, hi[1] = h1, hi[2] = h2;
}

}  // namespace

void MScene::CalculateBoundingBox(int local_space) {
    bbox_ = MBoundingBox{};
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    bool any = false;
    objects_.for_each([&](void* item) {
        auto* mesh = dynamic_cast<MMesh_P*>(static_cast<MObj3d*>(item));
        if (mesh == nullptr || mesh->Vertices().empty()) return;
        const MMatrix& m = mesh->Get_LocalMatrix();
        if (!any) {
            // The first vertex opens the box, in each coordinate that is a number.
            const MVector3& v = mesh->Vertices().front();
            const MVector3 p = local_space != 0 ? v : m.TransformPoint(v);
            for (int k = 0; k < 3; ++k)
                if (!std::isnan(p[k])) lo[k] = hi[k] = p[k];
            any = true;
        }
        widen_box(lo, hi, mesh->Vertices(), local_space != 0 ? nullptr : &m);
    });
    bbox_.min.Init(lo[0], lo[1], lo[2]);
    bbox_.max.Init(hi[0], hi[1], hi[2]);
    bbox_.empty = any ? 0 : 1;
}

void MScene::MMake_Default_Cam() {
    auto* cam = new MCamera("Default Camera");
    if (cam == nullptr) return;
    MVector3 c, half;
    for (int k = 0; k < 3; ++k) {
        c[k] = 0.5 * (bbox_.min[k] + bbox_.max[k]);
        half[k] = 0.5 * (bbox_.max[k] - bbox_.min[k]);
    }
    double radius = std::sqrt(half[0] * half[0] + half[1] * half[1] + half[2] * half[2]);
    if (!std::isfinite(radius) || radius <= 0.0) radius = 1.0;
    // Far enough for a sphere around the box to fit the vertical field of view.
    const double half_fov = 0.5 * cam->fov_y_degrees * 3.14159265358979323846 / 180.0;
    const double distance = radius / std::sin(half_fov);
    // From the front (-y), to the right (+x) and above (+z): trueSpace is z-up.
    const double dir[3] = {0.5773502691896258, -0.5773502691896258, 0.5773502691896258};
    cam->target = c;
    cam->position.Init(c[0] + dir[0] * distance, c[1] + dir[1] * distance, c[2] + dir[2] * distance);
    if (!cameras_.append(cam)) delete cam;
}

void MScene::MMake_Default_Light() {
    auto* light = new MLight("Default Light");
    if (light == nullptr) return;
    auto* cam = static_cast<MCamera*>(cameras_.head != nullptr ? cameras_.head->item : nullptr);
    if (cam != nullptr) {
        MVector3 d;
        double len = 0.0;
        for (int k = 0; k < 3; ++k) {
            d[k] = cam->target[k] - cam->position[k];
            len += d[k] * d[k];
        }
        len = std::sqrt(len);
        if (len > 0.0 && std::isfinite(len)) light->direction.Init(d[0] / len, d[1] / len, d[2] / len);
    }
    if (!lights_.append(light)) delete light;
}

MSurface* MScene::Find_Surface(MMesh_P* mesh, int32_t material_index) {
    const char* wanted = nullptr;
    if (mesh != nullptr) {
        int64_t entry = static_cast<int64_t>(material_index) - mesh->material_ref_base;
        int64_t k = 0;
        for (MListNode* n = mesh->material_refs.head; n != nullptr; n = n->next, ++k)
            if (k == entry) {
                wanted = static_cast<const char*>(n->item);
                break;
            }
    }
    MSurface* fallback = nullptr;
    for (MListNode* n = surfaces_.head; n != nullptr; n = n->next) {
        auto* s = static_cast<MSurface*>(n->item);
        if (wanted != nullptr && std::strcmp(s->get_name(), wanted) == 0) return s;
        if (fallback == nullptr && std::strcmp(s->get_name(), "DEFAULT") == 0) fallback = s;
    }
    return fallback;
}
