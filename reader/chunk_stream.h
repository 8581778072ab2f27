// The chunk stream: after the 32-byte file header a trueSpace file is a flat
// sequence of chunks, each opened by a header in the file's encoding.
#pragma once

#include <cstdint>

class MScene;
struct MList;

struct ChunkHeader {
    char type[5] = {0, 0, 0, 0, 0};  // type characters as read, NUL-terminated
    uint32_t type_id = 0;            // the four characters big-endian: "Grou" = 0x47726F75
    uint16_t major = 0;
    uint16_t minor = 0;
    int32_t id = 0;
    int32_t parent_id = 0;
    uint32_t start = 0;  // offset of the header's first byte
    uint32_t end = 0;    // offset of the first byte after the chunk (start + size)
    uint32_t size = 0;   // header length plus data size
};

constexpr uint32_t kChunkGroup = 0x47726F75;              // "Grou"
constexpr uint32_t kChunkPolygon = 0x506F6C48;            // "PolH"
constexpr uint32_t kChunkMaterial = 0x4D617431;           // "Mat1"
constexpr uint32_t kChunkProceduralMaterial = 0x50725478; // "PrTx"

// Reads one header at the stream position in the current encoding. In ASCII,
// fields the line does not give keep the values `chunk` held before. Returns
// false when nothing could be read: the end of the input, or (ASCII) a first
// header of the walk that does not match at all.
bool read_chunk_header(ChunkHeader& chunk);
void seek_chunk_end(const ChunkHeader& chunk);
// "-> %s (0x%0X)\n" with the type and size.
void log_chunk(const ChunkHeader& chunk, int level);
// Walks every chunk that ends within `parent` (only its end is used).
void parse_chunks(MScene* scene, ChunkHeader& parent);
