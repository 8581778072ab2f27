#include "chunk_stream.h"

#include <cstdio>

#include "ascii_formats.h"
#include "ascii_scan.h"
#include "chunk_handlers.h"
#include "field_readers.h"
#include "reader_state.h"
#include "vertexa/scene.h"

namespace {

uint32_t type_id_of(const char* t) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(t[0])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(t[1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(t[2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(t[3]));
}

bool read_binary_header(ChunkHeader& chunk) {
    long pos = std::ftell(reader_state.in);
    chunk.start = static_cast<uint32_t>(pos);
    for (int i = 0; i < 4; ++i) chunk.type[i] = read_byte();
    chunk.type[4] = '\0';
    chunk.type_id = type_id_of(chunk.type);
    chunk.major = read_word();
    chunk.minor = read_word();
    chunk.id = static_cast<int32_t>(read_dword());
    chunk.parent_id = static_cast<int32_t>(read_dword());
    chunk.size = read_dword() + 20u;  // wraps: an all-0xFF header at the end of the file gives 19
    chunk.end = chunk.start + chunk.size;
    return true;
}

// The data size of the previous ASCII header, for fields a line leaves unassigned.
int ascii_data_size = 0;
bool ascii_header_seen = false;

bool read_ascii_header(ChunkHeader& chunk) {
    long pos = std::ftell(reader_state.in);
    chunk.start = static_cast<uint32_t>(pos);
    int major = chunk.major, minor = chunk.minor, id = chunk.id, parent = chunk.parent_id;
    char type[4] = {chunk.type[0], chunk.type[1], chunk.type[2], chunk.type[3]};
    int assigned = ascii_scan(reader_state.in, ascii_format::kChunkHeader, type, &major, &minor, &id, &parent,
                              &ascii_data_size);
    if (assigned == EOF || (assigned <= 0 && !ascii_header_seen)) return false;
    ascii_header_seen = true;
    for (int i = 0; i < 4; ++i) chunk.type[i] = type[i];
    chunk.type[4] = '\0';
    chunk.type_id = type_id_of(chunk.type);
    chunk.major = static_cast<uint16_t>(major);
    chunk.minor = static_cast<uint16_t>(minor);
    chunk.id = id;
    chunk.parent_id = parent;
    long now = std::ftell(reader_state.in);
    chunk.size = static_cast<uint32_t>(now - pos) + static_cast<uint32_t>(ascii_data_size);
    chunk.end = chunk.start + chunk.size;
    return true;
}

void dispatch(MScene* scene, const ChunkHeader& chunk, MList* objects, MList* surfaces) {
    switch (chunk.type_id) {
        case kChunkGroup: parse_group_chunk(scene, chunk); break;
        case kChunkPolygon: parse_polygon_chunk(scene, chunk, objects); break;
        case kChunkMaterial: parse_material_chunk(scene, chunk, surfaces); break;
        case kChunkProceduralMaterial: parse_procedural_material_chunk(scene, chunk, surfaces); break;
        default: break;  // every other chunk is skipped by the seek to its end
    }
}

}  // namespace

bool read_chunk_header(ChunkHeader& chunk) {
    return reader_state.binary != 0 ? read_binary_header(chunk) : read_ascii_header(chunk);
}

void seek_chunk_end(const ChunkHeader& chunk) { std::fseek(reader_state.in, static_cast<long>(chunk.end), SEEK_SET); }

void log_chunk(const ChunkHeader& chunk, int level) {
    reader_state.log->write(level, "-> %s (0x%0X)\n", chunk.type, chunk.size);
}

void parse_chunks(MScene* scene, ChunkHeader& parent) {
    MList* objects = scene->Get_ObjectList();
    MList* surfaces = scene->Get_SurfaceList();
    // The file does not change during the import: its size is taken once.
    const long file_size = m_filesize(reader_state.in);
    ascii_header_seen = false;
    ascii_data_size = 0;
    ChunkHeader chunk;
    for (;;) {
        reader_state.callbacks->progress_2(std::ftell(reader_state.in), file_size);
        if (!read_chunk_header(chunk)) break;
        // A chunk that does not end after its start (a size that wraps to 0
        // or less) would make the walk stand still or go back: the stream
        // ends there.
        if (chunk.end <= chunk.start) {
            reader_state.log->write(1, "## chunk %s at %08X has an impossible size, reading stopped\n", chunk.type,
                                    chunk.start);
            break;
        }
        if (chunk.end <= parent.end) {
            log_chunk(chunk, 1);
            reader_state.chunk_end = static_cast<long>(chunk.end);
            dispatch(scene, chunk, objects, surfaces);
        }
        seek_chunk_end(chunk);
        if (chunk.end > parent.end) break;
    }
}
