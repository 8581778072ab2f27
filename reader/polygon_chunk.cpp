// Polygon chunks: one mesh each, with its local matrix, vertices, texture
// vertices, faces and material references.
//
// Counts are taken from the file but never trusted beyond the bytes that the
// chunk holds: an element is read only while the chunk has room for it, so a
// damaged count costs no more than the chunk's own size.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ascii_formats.h"
#include "ascii_scan.h"
#include "chunk_handlers.h"
#include "field_readers.h"
#include "reader_state.h"
#include "vertexa/scene.h"

namespace {

// The fewest bytes one element can take in each encoding: binary by its
// layout, ASCII by its shortest text ("0 0 0", "0 0", "Hole verts 0").
constexpr long kBinaryVertexBytes = 12;
constexpr long kBinaryUVBytes = 8;
constexpr long kBinaryRecordBytes = 3;
constexpr long kBinaryPairBytes = 8;
constexpr long kAsciiVertexBytes = 5;
constexpr long kAsciiUVBytes = 3;
constexpr long kAsciiRecordBytes = 12;
constexpr long kAsciiPairBytes = 5;
// Binary vertices and texture vertices are converted this many at a time.
constexpr uint32_t kBlock = 64;

uint32_t read_ascii_count(const char* format) {
    long count = 0;
    ascii_scan(reader_state.in, format, &count);
    return static_cast<uint32_t>(count);
}

// The bytes of the chunk left while the elements of a list are read,
// counted down by what each read consumes instead of asked of the stream
// (ftell) for every element. The binary readers consume the bytes of their
// layout, ascii_scan_counted says what it consumed. While the count is
// positive it is exact: the reads lie inside the chunk, which lies inside the
// file. Once reading passes the chunk's end it is zero or below, and the
// stream stands at or beyond the end, where chunk_bytes_left() gives 0.
struct ChunkBudget {
    ChunkBudget() : at_start(chunk_bytes_left()) {}
    long room() const { return at_start - used > 0 ? at_start - used : 0; }
    const long at_start;
    long used = 0;
};

// Reads n (vertex index, texture-vertex index) pairs of a binary record into
// the polygons; both null for a hole, whose pairs are skipped. Returns the
// number of pairs read.
uint32_t read_binary_pairs(uint32_t n, MIPolygon* vertex_poly, MIPolygon* uv_poly, ChunkBudget& budget) {
    const uint32_t room = static_cast<uint32_t>(budget.room() / kBinaryPairBytes);
    const uint32_t take = n < room ? n : room;
    budget.used += static_cast<long>(take) * kBinaryPairBytes;
    if (vertex_poly == nullptr) {
        std::fseek(reader_state.in, static_cast<long>(take) * kBinaryPairBytes, SEEK_CUR);
        return take;
    }
    constexpr uint32_t kBatch = 32;
    uint32_t pairs[2 * kBatch];
    for (uint32_t k = 0; k < take; k += kBatch) {
        const uint32_t batch = take - k < kBatch ? take - k : kBatch;
        read_dwords(pairs, 2 * batch);
        for (uint32_t j = 0; j < batch; ++j) {
            vertex_poly->Add(static_cast<int32_t>(pairs[2 * j]));
            uv_poly->Add(static_cast<int32_t>(pairs[2 * j + 1]));
        }
    }
    return take;
}

// Reads n pairs of an ASCII record into the polygons; both null for a hole.
// Returns the number of pairs read.
uint32_t read_ascii_pairs(uint32_t n, MIPolygon* vertex_poly, MIPolygon* uv_poly, ChunkBudget& budget) {
    const uint32_t room = static_cast<uint32_t>(budget.room() / kAsciiPairBytes);
    const uint32_t take = n < room ? n : room;
    constexpr uint32_t kBatch = 64;
    long pairs[2 * kBatch];
    for (uint32_t k = 0; k < take; k += kBatch) {
        const uint32_t want = take - k < kBatch ? take - k : kBatch;
        // A pair that does not parse ends the record: what follows it cannot
        // be told from the next record.
        const uint32_t got = ascii_scan_pairs(reader_state.in, &budget.used, want, pairs);
        if (vertex_poly != nullptr) {
            for (uint32_t j = 0; j < got; ++j) {
                vertex_poly->Add(static_cast<int32_t>(pairs[2 * j]));
                uv_poly->Add(static_cast<int32_t>(pairs[2 * j + 1]));
            }
        }
        if (got < want) return k + got;
    }
    return take;
}

}  // namespace


void read_vertices(MMesh_P* mesh) {
    FILE* in = reader_state.in;
    const bool binary = reader_state.binary != 0;
    const uint32_t declared = binary ? read_dword() : read_ascii_count(ascii_format::kVertexCount);
    reader_state.callbacks->status_2("Vertices ...");
    const uint32_t count = bound_count(declared, binary ? kBinaryVertexBytes : kAsciiVertexBytes, "Vertices");
    mesh->Reserve(count, 0, 0);
    ChunkBudget budget;
    uint32_t i = 0;
    if (binary) {
        // The count fits the chunk: the floats are converted a block at a time.
        float xyz[3 * kBlock];
        MVector3 vertices[kBlock];
        while (i < count) {
            const uint32_t block = count - i < kBlock ? count - i : kBlock;
            read_floats(xyz, 3 * block);
            for (uint32_t j = 0; j < block; ++j, ++i) {
                reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
                vertices[j].Init(xyz[3 * j], xyz[3 * j + 1], xyz[3 * j + 2]);
            }
            mesh->Add_Vertices(vertices, block);
        }
    }
    for (; i < count; ++i) {
        reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
        if (budget.room() == 0) break;
        float x = 0.0f, y = 0.0f, z = 0.0f;
        ascii_scan_vertex(in, &budget.used, &x, &y, &z);
        mesh->Add_Vertex(MVector3(x, y, z), -1.0);
    }
    if (i < count) log_count_cut(declared, i, "Vertices");
    reader_state.log->write(2, "-> read %d Vertices \n", mesh->Get_Vertex_Count());
}

void read_texture_vertices(MMesh_P* mesh) {
    FILE* in = reader_state.in;
    const bool binary = reader_state.binary != 0;
    reader_state.callbacks->status_2("UVVertices ...");
    const uint32_t declared = binary ? read_dword() : read_ascii_count(ascii_format::kUVCount);
    if (declared != 0) mesh->UseUV();
    const uint32_t count = bound_count(declared, binary ? kBinaryUVBytes : kAsciiUVBytes, "UVVertices");
    mesh->Reserve(static_cast<uint32_t>(mesh->Get_Vertex_Count()), count, 0);
    ChunkBudget budget;
    uint32_t i = 0;
    if (binary) {
        float uv[2 * kBlock];
        MVector3 uv_vertices[kBlock];
        while (i < count) {
            const uint32_t block = count - i < kBlock ? count - i : kBlock;
            read_floats(uv, 2 * block);
            for (uint32_t j = 0; j < block; ++j, ++i) {
                reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
                uv_vertices[j].Init(clamp_uv(uv[2 * j]), clamp_uv(uv[2 * j + 1]), 0.0);
            }
            mesh->Add_UVVertices(uv_vertices, block);
        }
    }
    for (; i < count; ++i) {
        reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
        if (budget.room() == 0) break;
        float u = 0.0f, v = 0.0f;
        if (ascii_scan_uv(in, &budget.used, &u, &v) != 2) {
            reader_state.log->write(2, "## read error at %08X\n", static_cast<unsigned>(m_filepos(in)));
            ascii_scan_counted(in, &budget.used, ascii_format::kSkipTwoWords);
            u = 0.0f;
            v = 0.0f;
        }
        mesh->Add_UVVertex(MVector3(u, v, 0.0), -1.0);
    }
    if (i < count) log_count_cut(declared, i, "UVVertices");
    reader_state.log->write(2, "-> read %d UVVertices \n", mesh->UVUsed() != 0 ? mesh->Get_UVVertex_Count() : 0);
}

// Faces on their way to the mesh, in the order read: the common binary
// record is taken from the stream's buffer into these arrays, and the mesh
// gets them a few hundred at a time instead of a call per face and an append
// per index. The same polygons as one Add_Face and Add_UVFace each.
struct FaceBlock {
    static constexpr uint32_t kPolygons = 256;
    static constexpr uint32_t kIndices = 1024;
    bool has_room(uint32_t n) const { return polygons < kPolygons && indices + n <= kIndices; }
    void flush(MMesh_P* mesh) {
        if (polygons == 0) return;
        mesh->Add_Faces(vertex, counts, mat_ids, polygons);
        if (mesh->UVUsed() != 0) mesh->Add_UVFaces(uv, counts, mat_ids, polygons);
        polygons = 0;
        indices = 0;
    }
    int32_t vertex[kIndices];
    int32_t uv[kIndices];
    uint32_t counts[kPolygons];
    int32_t mat_ids[kPolygons];
    uint32_t polygons = 0;
    uint32_t indices = 0;
};

// Takes face records from the stream's buffer into the block while each lies
// whole in it, starting with record `first` (already reported) and stopping
// before `count`, a hole, a record that the buffer or the chunk cuts, or one
// too large for the block. Each record after the first is reported before it
// is taken. Returns the number of records taken.
uint32_t take_buffered_faces(uint32_t first, uint32_t count, FaceBlock& block, MMesh_P* mesh, ChunkBudget& budget,
                             int& highest) {
    size_t available = 0;
    const unsigned char* const start = buffered_bytes(&available);
    const unsigned char* p = start;
    long left = budget.at_start - budget.used;  // bytes of the chunk left
    uint32_t k = first;
    while (k < count && available >= 5 && left >= kBinaryRecordBytes && (p[0] & 0x08) == 0) {
        const uint16_t m = field_detail::little_endian_16(p + 3);
        uint32_t take = field_detail::little_endian_16(p + 1);
        const uint32_t room = left > 5 ? static_cast<uint32_t>((left - 5) / kBinaryPairBytes) : 0;
        if (take > room) take = room;
        const size_t bytes = 5 + static_cast<size_t>(take) * kBinaryPairBytes;
        if (available < bytes) break;
        if (take > 2 && !block.has_room(take)) {
            block.flush(mesh);
            if (!block.has_room(take)) break;
        }
        if (k != first) reader_state.callbacks->progress_2(static_cast<long>(k), static_cast<long>(count));
        if (static_cast<int>(m) > highest) highest = m;
        if (take > 2) {
            // Last pair first: the order Flip gives.
            const unsigned char* pairs = p + 5;
            int32_t* vertex = block.vertex + block.indices;
            int32_t* uv = block.uv + block.indices;
            const auto index = [pairs](uint32_t at) {
                return static_cast<int32_t>(field_detail::little_endian_32(pairs + 4 * at));
            };
            if (take == 4) {  // the quadrilateral, written out
                vertex[0] = index(6), vertex[1] = index(4), vertex[2] = index(2), vertex[3] = index(0);
                uv[0] = index(7), uv[1] = index(5), uv[2] = index(3), uv[3] = index(1);
            } else {
                for (uint32_t j = take; j-- > 0; ++vertex, ++uv) {
                    *vertex = index(2 * j);
                    *uv = index(2 * j + 1);
                }
            }
            block.counts[block.polygons] = take;
            block.mat_ids[block.polygons] = m;
            block.polygons += 1;
            block.indices += take;
        }
        p += bytes;
        available -= bytes;
        left -= static_cast<long>(bytes);
        ++k;
    }
    skip_buffered(static_cast<size_t>(p - start));
    budget.used += static_cast<long>(p - start);
    return k - first;
}

int read_faces(MMesh_P* mesh) {
    FILE* in = reader_state.in;
    const bool binary = reader_state.binary != 0;
    reader_state.callbacks->status_2("Faces ...");
    const uint32_t declared = binary ? read_dword() : read_ascii_count(ascii_format::kFaceCount);
    int highest = -1;
    const uint32_t count = bound_count(declared, binary ? kBinaryRecordBytes : kAsciiRecordBytes, "Faces");
    mesh->Reserve(static_cast<uint32_t>(mesh->Get_Vertex_Count()), static_cast<uint32_t>(mesh->Get_UVVertex_Count()),
                  count);
    ChunkBudget budget;
    FaceBlock block;
    uint32_t i = 0;
    for (; i < count; ++i) {
        reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
        uint16_t n = 0, m = 0;
        const unsigned char* pairs = nullptr;  // the record's pairs in the stream's buffer
        uint32_t take = 0;
        bool header_read = false;
        if (binary) {
            if (budget.room() < kBinaryRecordBytes) break;
            if (const uint32_t taken = take_buffered_faces(i, count, block, mesh, budget, highest)) {
                i += taken - 1;
                continue;
            }
            const unsigned char* head = peek_buffered(5);
            if (head != nullptr && (head[0] & 0x08) == 0) {
                // A face whose header lies in the stream's buffer, left by
                // take_buffered_faces: its pairs are not all there, or are
                // too many for the block.
                n = field_detail::little_endian_16(head + 1);
                m = field_detail::little_endian_16(head + 3);
                skip_buffered(5);
                budget.used += 5;
                header_read = true;
                const uint32_t room = static_cast<uint32_t>(budget.room() / kBinaryPairBytes);
                take = n < room ? n : room;
                pairs = peek_buffered(take * kBinaryPairBytes);
                if (pairs != nullptr) {
                    skip_buffered(take * kBinaryPairBytes);
                    budget.used += static_cast<long>(take) * kBinaryPairBytes;
                }
            }
        }
        block.flush(mesh);
        MIPolygon vertex_poly(0);
        MIPolygon uv_poly(0);
        if (pairs != nullptr) {
            // A face too large for the block, taken from the buffer all the same.
            for (uint32_t j = 0; j < take; ++j) {
                vertex_poly.Add(static_cast<int32_t>(field_detail::little_endian_32(pairs + 8 * j)));
                uv_poly.Add(static_cast<int32_t>(field_detail::little_endian_32(pairs + 8 * j + 4)));
            }
        } else if (header_read) {
            // Its pairs are not all in the buffer.
            read_binary_pairs(n, &vertex_poly, &uv_poly, budget);
        } else if (binary) {
            const unsigned char flags = static_cast<unsigned char>(read_byte());
            if ((flags & 0x08) != 0) {
                read_words(&n, 1);
                budget.used += 3;
                read_binary_pairs(n, nullptr, nullptr, budget);
                continue;
            }
            uint16_t header[2];
            read_words(header, 2);
            budget.used += 5;
            n = header[0];
            m = header[1];
            read_binary_pairs(n, &vertex_poly, &uv_poly, budget);
        } else {
            if (budget.room() == 0) break;
            short sn = 0, sflags = 0, sm = 0;
            if (ascii_scan_hole(in, &budget.used, &sn) == 1) {
                ascii_skip_space(in, &budget.used);
                read_ascii_pairs(static_cast<uint16_t>(sn), nullptr, nullptr, budget);
                continue;
            }
            ascii_scan_face(in, &budget.used, &sn, &sflags, &sm);
            ascii_skip_space(in, &budget.used);
            n = static_cast<uint16_t>(sn);
            m = static_cast<uint16_t>(sm);
            read_ascii_pairs(n, &vertex_poly, &uv_poly, budget);
        }
        if (static_cast<int>(m) > highest) highest = m;
        vertex_poly.Set_MatId(m);
        uv_poly.Set_MatId(m);
        vertex_poly.Flip();
        uv_poly.Flip();
        if (vertex_poly.Get_Count() > 2) mesh->Add_Face(vertex_poly);
        if (uv_poly.Get_Count() > 2 && mesh->UVUsed() != 0) mesh->Add_UVFace(uv_poly);
    }
    block.flush(mesh);
    if (i < count) log_count_cut(declared, i, "Faces");
    reader_state.log->write(2, "-> read %d Faces \n", mesh->Get_Face_Count());
    return highest;
}

// The text of "mat_%08X_%d" with snprintf's truncation, written by hand: a
// scene of many small objects formats one key per material of every object,
// and snprintf took a seventh of the time of such a read.
void format_material_key(char* out, int size, uint32_t owner_id, unsigned material_number) {
    if (size <= 0) return;
    static const char hex[] = "0123456789ABCDEF";
    char text[32] = {'m', 'a', 't', '_'};
    for (int i = 0; i < 8; ++i) text[4 + i] = hex[(owner_id >> (28 - 4 * i)) & 0xFu];
    text[12] = '_';
    const auto end = std::to_chars(text + 13, text + sizeof text, static_cast<int>(material_number)).ptr;
    const size_t length = std::min(static_cast<size_t>(end - text), static_cast<size_t>(size) - 1);
    std::memcpy(out, text, length);
    out[length] = '\0';
}

void add_material_references(MMesh_P* mesh, const ChunkHeader& chunk, int highest_material) {
    if (highest_material == -1) return;
    const uint64_t wanted = static_cast<uint64_t>(highest_material) + 1;
    int last = highest_material;
    if (wanted > reader_state.material_refs_left) {
        last = static_cast<int>(reader_state.material_refs_left) - 1;
        reader_state.log->write(2, "## %llu material references wanted, the file has room for %llu more\n",
                                static_cast<unsigned long long>(wanted),
                                static_cast<unsigned long long>(reader_state.material_refs_left));
    }
    reader_state.material_refs_left -= static_cast<uint64_t>(last + 1);
    for (int j = 0; j <= last; ++j) {
        char key[32];
        format_material_key(key, sizeof key, static_cast<uint32_t>(chunk.id), static_cast<unsigned>(j));
        char* copy = my_strdup(key);
        if (copy == nullptr) {
            reader_state.log->write(2, "## out of memory: material reference %s not created\n", key);
            return;
        }
        reader_state.log->write(2, "  Material reference %s created\n", key);
        if (!mesh->material_refs.append(copy)) {
            my_free(copy);
            reader_state.log->write(2, "## out of memory: material reference %s not kept\n", key);
            return;
        }
    }
}

void parse_polygon_chunk(MScene* /*scene*/, const ChunkHeader& chunk, MList* objects) {
    LogFile* log = reader_state.log;
    log->write(2, "-> Start parsing Polygon Object\n");
    ObjectAxes axes;
    read_object_axes(axes);

    auto* mesh = new MMesh_P(axes.name);
    if (mesh == nullptr) {
        log->write(2, "## out of memory: object %s not created\n", axes.name);
        return;
    }
    mesh->material_ref_base = 0;
    mesh->Set_LocalMatrix(axes.cur_pos);

    read_vertices(mesh);
    read_texture_vertices(mesh);
    const int highest = read_faces(mesh);
    add_material_references(mesh, chunk, highest);

    if (mesh->Get_Face_Count() != 0) {
        if (objects->append(mesh)) {
            log->write(2, "-> Object %s added\n", mesh->get_name());
            return;
        }
        log->write(2, "## out of memory: object %s not added\n", mesh->get_name());
    }
    delete mesh;
}
