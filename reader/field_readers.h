// Readers of the binary encoding's fields: little-endian numbers and
// length-prefixed texts at the input stream's position. They do not detect
// the end of the file: past it every byte reads as 0xFF. Texts are returned in
// static buffers of 1024 bytes that the next call of the same reader
// overwrites: read_string and read_name share one, read_chars has one,
// read_header_text has one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "reader_state.h"

#include "vertexa/geometry.h"

char read_byte();
uint16_t read_word();
uint32_t read_dword();
float read_float();
MVector3 read_vector();

// A 16-bit length N, then N bytes. Of a text longer than 1023 bytes the first
// 1023 are kept and the rest is skipped, so the stream still ends up after
// the whole field.
char* read_string();
// A 16-bit word that is dropped (the duplicate count of object names), then read_string.
char* read_name();
// Exactly n bytes with no length prefix; a count below 1 reads nothing and
// gives the empty text. As read_string, at most 1023 are kept, the rest skipped.
char* read_chars(int n);
// The start of the file up to its first NUL byte, at most 1023 bytes, cut to
// 18 characters.
char* read_header_text();

constexpr int kTextBufferSize = 1024;

// Bulk readers for the element lists of polygon objects: the same bytes and
// the same values as n calls of read_byte, read_word, read_float or
// read_dword (0xFF bytes past the end of the file included), taken from the
// stream's buffer at once where it holds them. They are inline and convert
// the little-endian numbers themselves, so that a loop over a million values
// is not millions of calls into the host's I2N functions.
void read_bytes_one_by_one(unsigned char* out, size_t n);

// The next n bytes of the stream where its buffer holds them all, else null;
// they are consumed by skip_buffered. Readers of large lists take their
// elements straight from there.
inline const unsigned char* peek_buffered(size_t n) {
#if defined(__GLIBC__)
    FILE* in = reader_state.in;
    if (static_cast<size_t>(in->_IO_read_end - in->_IO_read_ptr) >= n)
        return reinterpret_cast<const unsigned char*>(in->_IO_read_ptr);
#else
    (void)n;
#endif
    return nullptr;
}
// The bytes the stream's buffer holds from the read position on (their
// number in *available, 0 where the buffer cannot be seen).
inline const unsigned char* buffered_bytes(size_t* available) {
#if defined(__GLIBC__)
    FILE* in = reader_state.in;
    *available = static_cast<size_t>(in->_IO_read_end - in->_IO_read_ptr);
    return reinterpret_cast<const unsigned char*>(in->_IO_read_ptr);
#else
    *available = 0;
    return nullptr;
#endif
}
inline void skip_buffered(size_t n) {
#if defined(__GLIBC__)
    reader_state.in->_IO_read_ptr += n;
#else
    (void)n;
#endif
}

inline void read_bytes(unsigned char* out, size_t n) {
    // The bytes that getc would return one by one, straight from the buffer.
    if (const unsigned char* p = peek_buffered(n)) {
        std::memcpy(out, p, n);
        skip_buffered(n);
        return;
    }
    read_bytes_one_by_one(out, n);
}

namespace field_detail {
// Assembled by arithmetic: right whatever the native byte order.
inline uint16_t little_endian_16(const unsigned char* b) {
    return static_cast<uint16_t>(b[0] | (static_cast<unsigned>(b[1]) << 8));
}
inline uint32_t little_endian_32(const unsigned char* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}
constexpr size_t kBatch = 64;
}  // namespace field_detail

inline void read_words(uint16_t* out, size_t n) {
    unsigned char b[2 * field_detail::kBatch];
    while (n > 0) {
        const size_t take = n < field_detail::kBatch ? n : field_detail::kBatch;
        read_bytes(b, 2 * take);
        for (size_t i = 0; i < take; ++i)
            out[i] = static_cast<uint16_t>(b[2 * i] | (static_cast<unsigned>(b[2 * i + 1]) << 8));
        out += take;
        n -= take;
    }
}

inline void read_dwords(uint32_t* out, size_t n) {
    unsigned char b[4 * field_detail::kBatch];
    while (n > 0) {
        const size_t take = n < field_detail::kBatch ? n : field_detail::kBatch;
        read_bytes(b, 4 * take);
        for (size_t i = 0; i < take; ++i) out[i] = field_detail::little_endian_32(b + 4 * i);
        out += take;
        n -= take;
    }
}

inline void read_floats(float* out, size_t n) {
    unsigned char b[4 * field_detail::kBatch];
    while (n > 0) {
        const size_t take = n < field_detail::kBatch ? n : field_detail::kBatch;
        read_bytes(b, 4 * take);
        for (size_t i = 0; i < take; ++i) {
            const uint32_t bits = field_detail::little_endian_32(b + 4 * i);
            std::memcpy(out + i, &bits, sizeof bits);  // the IEEE pattern, as I2NFloat gives it
        }
        out += take;
        n -= take;
    }
}
