// Polygon chunks: one mesh each, with its local matrix, vertices, texture
// vertices, faces and material references.
//
// Counts are taken from the file but never trusted beyond the bytes that the
// chunk holds: an element is read only while the chunk has room for it, so a
// damaged count costs no more than the chunk's own size.
#include <cmath>
#include <cstdio>

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

bool at_chunk_end() { return std::ftell(reader_state.in) >= reader_state.chunk_end; }

uint32_t read_ascii_count(const char* format) {
    long count = 0;
    std::fscanf(reader_state.in, format, &count);
    return static_cast<uint32_t>(count);
}

// Reads n (vertex index, texture-vertex index) pairs into the polygons; both
// null for a hole. Returns the number of pairs read.
uint32_t read_pairs(uint32_t n, MIPolygon* vertex_poly, MIPolygon* uv_poly) {
    if (reader_state.binary != 0) {
        const uint32_t room = static_cast<uint32_t>(chunk_bytes_left() / kBinaryPairBytes);
        const uint32_t take = n < room ? n : room;
        if (vertex_poly == nullptr) {
            std::fseek(reader_state.in, static_cast<long>(take) * kBinaryPairBytes, SEEK_CUR);
        } else {
            for (uint32_t k = 0; k < take; ++k) {
                vertex_poly->Add(static_cast<int32_t>(read_dword()));
                uv_poly->Add(static_cast<int32_t>(read_dword()));
            }
        }
        return take;
    }
    const uint32_t room = static_cast<uint32_t>(chunk_bytes_left() / kAsciiPairBytes);
    const uint32_t take = n < room ? n : room;
    for (uint32_t k = 0; k < take; ++k) {
        long v = 0, t = 0;
        // A pair that does not parse ends the record: what follows it cannot
        // be told from the next record.
        if (std::fscanf(reader_state.in, "<%ld,%ld> ", &v, &t) != 2) return k;
        if (vertex_poly != nullptr) {
            vertex_poly->Add(static_cast<int32_t>(v));
            uv_poly->Add(static_cast<int32_t>(t));
        }
    }
    return take;
}

}  // namespace

float clamp_uv(float x) {
    const double a = std::fabs(static_cast<double>(x));
    if (a > 1000000.0) return 0.0f;
    if (a < 0.000001) return 0.0f;
    return x;
}

void read_vertices(MMesh_P* mesh) {
    FILE* in = reader_state.in;
    const bool binary = reader_state.binary != 0;
    const uint32_t declared = binary ? read_dword() : read_ascii_count("\nWorld Vertices %ld");
    reader_state.callbacks->status_2("Vertices ...");
    const uint32_t count = bound_count(declared, binary ? kBinaryVertexBytes : kAsciiVertexBytes, "Vertices");
    mesh->Reserve(count, 0, 0);
    uint32_t i = 0;
    for (; i < count; ++i) {
        reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
        MVector3 v(0.0, 0.0, 0.0);
        if (binary) {
            v = read_vector();
        } else {
            if (at_chunk_end()) break;
            float x = 0.0f, y = 0.0f, z = 0.0f;
            std::fscanf(in, "\n%f %f %f", &x, &y, &z);
            v.Init(x, y, z);
        }
        mesh->Add_Vertex(v, -1.0);
    }
    if (i < count) log_count_cut(declared, i, "Vertices");
    reader_state.log->write(2, "-> read %d Vertices \n", mesh->Get_Vertex_Count());
}

void read_texture_vertices(MMesh_P* mesh) {
    FILE* in = reader_state.in;
    const bool binary = reader_state.binary != 0;
    reader_state.callbacks->status_2("UVVertices ...");
    const uint32_t declared = binary ? read_dword() : read_ascii_count("\nTexture Vertices %ld");
    if (declared != 0) mesh->UseUV();
    const uint32_t count = bound_count(declared, binary ? kBinaryUVBytes : kAsciiUVBytes, "UVVertices");
    mesh->Reserve(static_cast<uint32_t>(mesh->Get_Vertex_Count()), count, 0);
    uint32_t i = 0;
    for (; i < count; ++i) {
        reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
        float u = 0.0f, v = 0.0f;
        if (binary) {
            u = clamp_uv(read_float());
            v = clamp_uv(read_float());
        } else {
            if (at_chunk_end()) break;
            if (std::fscanf(in, "\n%f %f", &u, &v) != 2) {
                reader_state.log->write(2, "## read error at %08X\n", static_cast<unsigned>(m_filepos(in)));
                std::fscanf(in, "\n%*s %*s");
                u = 0.0f;
                v = 0.0f;
            }
        }
        mesh->Add_UVVertex(MVector3(u, v, 0.0), -1.0);
    }
    if (i < count) log_count_cut(declared, i, "UVVertices");
    reader_state.log->write(2, "-> read %d UVVertices \n", mesh->UVUsed() != 0 ? mesh->Get_UVVertex_Count() : 0);
}

int read_faces(MMesh_P* mesh) {
    FILE* in = reader_state.in;
    const bool binary = reader_state.binary != 0;
    reader_state.callbacks->status_2("Faces ...");
    const uint32_t declared = binary ? read_dword() : read_ascii_count("\nFaces %ld");
    int highest = -1;
    const uint32_t count = bound_count(declared, binary ? kBinaryRecordBytes : kAsciiRecordBytes, "Faces");
    uint32_t i = 0;
    for (; i < count; ++i) {
        reader_state.callbacks->progress_2(static_cast<long>(i), static_cast<long>(count));
        uint16_t n = 0, m = 0;
        if (binary) {
            if (chunk_bytes_left() < kBinaryRecordBytes) break;
            const unsigned char flags = static_cast<unsigned char>(read_byte());
            if ((flags & 0x08) != 0) {
                n = read_word();
                read_pairs(n, nullptr, nullptr);
                continue;
            }
            n = read_word();
            m = read_word();
        } else {
            if (at_chunk_end()) break;
            short sn = 0, sflags = 0, sm = 0;
            if (std::fscanf(in, "\nHole verts %hd", &sn) == 1) {
                std::fscanf(in, "\n");
                read_pairs(static_cast<uint16_t>(sn), nullptr, nullptr);
                continue;
            }
            std::fscanf(in, "\nFace verts %hd flags %hd mat %hd", &sn, &sflags, &sm);
            std::fscanf(in, "\n");
            n = static_cast<uint16_t>(sn);
            m = static_cast<uint16_t>(sm);
        }
        MIPolygon vertex_poly(0);
        MIPolygon uv_poly(0);
        read_pairs(n, &vertex_poly, &uv_poly);
        if (static_cast<int>(m) > highest) highest = m;
        vertex_poly.Set_MatId(m);
        uv_poly.Set_MatId(m);
        vertex_poly.Flip();
        uv_poly.Flip();
        if (vertex_poly.Get_Count() > 2) mesh->Add_Face(vertex_poly);
        if (uv_poly.Get_Count() > 2 && mesh->UVUsed() != 0) mesh->Add_UVFace(uv_poly);
    }
    if (i < count) log_count_cut(declared, i, "Faces");
    reader_state.log->write(2, "-> read %d Faces \n", mesh->Get_Face_Count());
    return highest;
}

void format_material_key(char* out, int size, uint32_t owner_id, unsigned material_number) {
    std::snprintf(out, static_cast<size_t>(size), "mat_%08X_%d", owner_id, static_cast<int>(material_number));
}

void add_material_references(MMesh_P* mesh, const ChunkHeader& chunk, int highest_material) {
    if (highest_material == -1) return;
    for (int j = 0; j <= highest_material; ++j) {
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
