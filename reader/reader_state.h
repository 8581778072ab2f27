// The state of one import, shared by the driver, the chunk stream, the field
// readers and every chunk handler. One import runs at a time.
#pragma once

#include <cstdint>
#include <cstdio>

#include "vertexa/services.h"

struct ReaderState {
    FILE* in = nullptr;                      // the file being read, opened "rb"
    int binary = 1;                          // 1: binary encoding, 0: ASCII
    LogFile* log = nullptr;                  // the import's log
    MessageCallBack1* callbacks = nullptr;   // progress record of the importer
    // End (file offset) of the chunk whose handler runs. Handlers read counted
    // elements only while the chunk has bytes for them.
    long chunk_end = 0;
};

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
