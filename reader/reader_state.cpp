#include "reader_state.h"

ReaderState reader_state;

long chunk_bytes_left() {
    long pos = std::ftell(reader_state.in);
    if (pos < 0 || pos >= reader_state.chunk_end) return 0;
    return reader_state.chunk_end - pos;
}

uint32_t bound_count(uint32_t declared, long min_bytes, const char* what) {
    long left = chunk_bytes_left();
    uint64_t room = min_bytes > 0 ? static_cast<uint64_t>(left) / static_cast<uint64_t>(min_bytes) : 0;
    if (declared <= room) return declared;
    reader_state.log->write(2, "## %u %s declared, the chunk has room for %u\n", declared, what,
                            static_cast<uint32_t>(room));
    return static_cast<uint32_t>(room);
}

void log_count_cut(uint32_t declared, uint32_t read, const char* what) {
    reader_state.log->write(2, "## %u %s declared, %u read before the chunk's end\n", declared, what, read);
}
