// Memory of imports of crafted worst cases (every count at its maximum, every
// length prefix at 65,535, chunks of size 0xFFFFFFEC, faces naming the highest
// material index): at its peak an import holds at most a small multiple of the
// file's size plus a constant. Counted are the host allocator (names, surfaces,
// material references) and, through the replacement of the global operator new
// below (hence a program of its own), the containers of vertices and polygons.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "../reader/harness.h"
#include "cob_writer.h"
#include "vertexa/memory.h"

namespace {

std::atomic<uint64_t> live_bytes{0}, peak_bytes{0};

// Blocks carry their size in front, kept 16-byte aligned.
constexpr std::size_t kHeader = 16;

void* counted_new(std::size_t size) {
    void* block = std::malloc(size + kHeader);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const uint64_t now = live_bytes += size;
    uint64_t peak = peak_bytes.load();
    while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + kHeader;
}

void counted_delete(void* p) {
    if (p == nullptr) return;
    void* block = static_cast<char*>(p) - kHeader;
    live_bytes -= *static_cast<std::size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return counted_new(size); }
void* operator new[](std::size_t size) { return counted_new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept try { return counted_new(size); } catch (...) {
    return nullptr;
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_delete(p); }

namespace {

using cobtest::CobFile;
using cobtest::Encoding;

// The bound: 32 bytes per byte of the file plus 2 MiB. The constant covers
// the material references any file may make (4,096 short names and their
// list nodes) and the fixed buffers; 32 per byte covers a vertex (12
// bytes in a binary file) stored as three doubles in a growing vector.
constexpr uint64_t kBytesPerFileByte = 32;
constexpr uint64_t kConstantBytes = 2u << 20;

struct Peak {
    uint64_t bytes = 0;
    uint32_t meshes = 0;
    std::string log;
};

// Imports the bytes and returns the highest memory both allocators held
// during the import above what they held before it.
Peak import_peak(const std::string& bytes) {
    static int serial = 0;
    const std::string path = harness::temp_dir() + "/worst.cob";
    const std::string log = harness::temp_dir() + "/worst" + std::to_string(++serial) + ".log";
    harness::write_file(path, bytes);
    harness::use_profile(harness::temp_dir() + "/worst.ini", 1, log);
    CobImportOptions options;
    options.Set_Filename(path.c_str());
    MessageCallBack1 callbacks(harness::record_status, harness::record_progress, harness::record_status,
                               harness::record_progress, harness::record_status, harness::record_progress);
    auto scene = std::make_unique<MScene>(path.c_str());
    const uint64_t std_before = live_bytes.load();
    peak_bytes = std_before;
    const vertexa::AllocStats host_before = vertexa::alloc_stats();
    import_file(scene.get(), &options, &callbacks);
    // The host allocator's peak is over the whole run; a peak reached before
    // this import is below host_before.live_bytes plus what this import adds.
    const uint64_t host_peak = vertexa::alloc_stats().peak_bytes;
    Peak p;
    p.bytes = (peak_bytes.load() - std_before) +
              (host_peak > host_before.live_bytes ? host_peak - host_before.live_bytes : 0);
    p.meshes = scene->Get_ObjectList()->size();
    scene.reset();
    p.log = harness::read_file(log);
    return p;
}

// Polygon chunks that lie in each way one at a time, so that each lie is
// met with the rest of the chunk still there to read: a name length of
// 65,535; vertex, texture-vertex and face counts of 0xFFFFFFFF; faces that
// claim 65,535 corners and use material 65,535.
std::vector<cobtest::Polygon> liars(const std::string& name) {
    std::vector<cobtest::Polygon> out(3, harness::sample_polygon(name));
    out[0].axes.name_length = 65535;
    out[1].vertex_count = 0xFFFFFFFFu;
    out[1].uv_count = 0xFFFFFFFFu;
    out[1].face_count = 0xFFFFFFFFu;
    for (auto& face : out[2].faces) {
        face.corner_count = 65535;
        face.material = 65535;
    }
    return out;
}

cobtest::Material lying_material() {
    cobtest::Material m{.number = 65535};
    for (auto kind : {cobtest::MapKind::Texture, cobtest::MapKind::Bump, cobtest::MapKind::Environment})
        m.maps.push_back({kind, 0, "t.bmp", 0, 0, 1, 1, 1, 65535, 65535});
    return m;
}

std::string worst_case(Encoding e, int repeats, bool huge_chunk_first) {
    CobFile f(e);
    if (huge_chunk_first) f.chunk("Unkn", 1, 0, "x\n", 0xFFFFFFECll);
    for (int i = 0; i < repeats; ++i) {
        f.group(10 * i + 2, 0, {.name = "G", .name_length = 65535});
        int id = 10 * i + 3;
        for (const cobtest::Polygon& p : liars(std::string("P").append(std::to_string(i)))) f.polygon(id++, 0, p);
        f.material(10 * i + 4, 10 * i + 3, lying_material())
            .procedural(10 * i + 5, 10 * i + 3, {lying_material(), std::string(16, '\xFF')});
    }
    // In binary the size wraps to 0 with the header's 20 bytes: the walk ends here.
    f.chunk("PolH", 7, 0, "", 0xFFFFFFECll).end();
    return f.bytes();
}

TEST(WorstCase, MemoryStaysWithinAMultipleOfTheFileSize) {
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        for (bool first : {false, true}) {
            for (int repeats : {1, 40}) {
                const std::string bytes = worst_case(e, repeats, first);
                const Peak p = import_peak(bytes);
                const uint64_t bound = kBytesPerFileByte * bytes.size() + kConstantBytes;
                EXPECT_LE(p.bytes, bound) << (e == Encoding::Binary ? "binary" : "ascii") << " repeats " << repeats
                                          << " huge chunk first " << first << " file " << bytes.size();
                // The lies are reported, not believed.
                if (!first || e == Encoding::Ascii) {
                    EXPECT_NE(p.log.find("## "), std::string::npos);
                }
            }
        }
    }
}

// One face naming material 65,535 wants 65,536 references; a file of such
// chunks gets 4,096 plus one per 4 bytes of the file in all, and the log says
// where they ran out: the first chunk takes them all, the others get none.
TEST(WorstCase, MaterialReferencesAreBoundedByTheFileSize) {
    for (Encoding e : {Encoding::Binary, Encoding::Ascii}) {
        CobFile f(e);
        for (int i = 0; i < 30; ++i) {
            cobtest::Polygon p = harness::sample_polygon(std::string("M").append(std::to_string(i)));
            p.faces[0].material = 65535;
            f.polygon(i + 1, 0, p);
        }
        f.end();
        const std::string bytes = f.bytes();
        const Peak p = import_peak(bytes);
        const size_t budget = 4096 + bytes.size() / 4;
        EXPECT_NE(p.log.find("## 65536 material references wanted, the file has room for " + std::to_string(budget) +
                             " more\n"),
                  std::string::npos);
        EXPECT_NE(p.log.find("## 65536 material references wanted, the file has room for 0 more\n"),
                  std::string::npos);
        EXPECT_EQ(harness::occurrences(p.log, "  Material reference "), budget);
        EXPECT_NE(p.log.find("  Material reference mat_00000001_" + std::to_string(budget - 1) + " created\n"),
                  std::string::npos);
        EXPECT_EQ(p.log.find("  Material reference mat_00000002_"), std::string::npos);
        EXPECT_EQ(p.meshes, 30u);  // cut references do not cost a mesh
        EXPECT_LE(p.bytes, kBytesPerFileByte * bytes.size() + kConstantBytes);
    }
}

}  // namespace
