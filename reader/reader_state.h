// The state of one import, shared by the driver, the chunk stream, the field
// readers and every chunk handler. One import runs at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "vertexa/services.h"

#if defined(_WIN32)
// Windows' C library reads a byte without taking the stream's lock under
// another name.
#define getc_unlocked _getc_nolock
#endif

struct ReaderState {
    FILE* in = nullptr;                      // the file being read, opened "rb"
    int binary = 1;                          // 1: binary encoding, 0: ASCII
    LogFile* log = nullptr;                  // the import's log
    MessageCallBack1* callbacks = nullptr;   // progress record of the importer
    // End (file offset) of the chunk whose handler runs. Handlers read counted
    // elements only while the chunk has bytes for them.
    long chunk_end = 0;
    // Material references this import may still create. A face may name any
    // material index up to 65,535, and each index below the highest costs a
    // reference, so a few bytes of faces could otherwise demand 65,536
    // allocations and log lines per polygon chunk, over and over. Set by
    // parse_file to material_reference_budget(file size).
    uint64_t material_refs_left = 0;
};

// References one file may make: 4,096, plus one per 4 bytes of the file. A
// real file's material indices are those of its own material chunks, each far
// larger than 4 bytes, so the bound cuts only files whose faces name indices
// that nothing in the file describes. A face whose reference was cut gets the
// same surface as one whose reference names no material: the default one. The
// work of a file is thereby bounded by its size: a few bytes of faces naming
// index 65,535 no longer cost 65,536 allocations and log lines.
constexpr uint64_t kFreeMaterialReferences = 4096;
constexpr uint64_t material_reference_budget(long file_size) {
    return kFreeMaterialReferences + (file_size > 0 ? static_cast<uint64_t>(file_size) / 4 : 0);
}

extern ReaderState reader_state;

// Number of bytes between the stream position and the end of the chunk being
// handled; 0 when the position lies at or beyond it.
long chunk_bytes_left();

// A declared element count bounded by the bytes the chunk has left: at most
// one element per `min_bytes` bytes. When the count is cut, says so in the log
// ("## %u %s declared, the chunk has room for %u\n") and returns the bound.
uint32_t bound_count(uint32_t declared, long min_bytes, const char* what);

// Logs that reading of `what` stopped at the chunk's end after `read` of
// `declared` elements.
void log_count_cut(uint32_t declared, uint32_t read, const char* what);
