#include "field_readers.h"

#include <cstdio>
#include <cstring>

#include "reader_state.h"
#include "vertexa/services.h"

namespace {

char string_buffer[kTextBufferSize];  // read_string, read_name
char chars_buffer[kTextBufferSize];   // read_chars
char header_buffer[kTextBufferSize];  // read_header_text

// One byte; at the end of the file the EOF value, cut to a byte, gives 0xFF.
// Imports run on one thread, so the stream needs no lock per byte.
inline unsigned char next_byte() { return static_cast<unsigned char>(getc_unlocked(reader_state.in)); }

// Reads `n` bytes, keeps the first kTextBufferSize - 1 in `buffer`, skips the rest.
char* read_text(char* buffer, uint32_t n) {
    uint32_t keep = n < kTextBufferSize - 1 ? n : kTextBufferSize - 1;
    for (uint32_t i = 0; i < keep; ++i) buffer[i] = static_cast<char>(next_byte());
    buffer[keep] = '\0';
    if (n > keep) std::fseek(reader_state.in, static_cast<long>(n - keep), SEEK_CUR);
    return buffer;
}

}  // namespace

void read_bytes_one_by_one(unsigned char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) out[i] = next_byte();
}

char read_byte() { return static_cast<char>(next_byte()); }

uint16_t read_word() {
    unsigned char b[2] = {next_byte(), next_byte()};
    uint16_t v;
    I2NWord(b, &v);
    return v;
}

uint32_t read_dword() {
    unsigned char b[4];
    for (unsigned char& c : b) c = next_byte();
    uint32_t v;
    I2NDWord(b, &v);
    return v;
}

float read_float() {
    unsigned char b[4];
    for (unsigned char& c : b) c = next_byte();
    float v;
    I2NFloat(b, &v);
    return v;
}

MVector3 read_vector() {
    MVector3 v(0.0, 0.0, 0.0);
    v[0] = read_float();
    v[1] = read_float();
    v[2] = read_float();
    return v;
}

char* read_string() { return read_text(string_buffer, read_word()); }

char* read_name() {
    read_word();
    return read_string();
}

char* read_chars(int n) {
    if (n < 1) {
        chars_buffer[0] = '\0';
        return chars_buffer;
    }
    return read_text(chars_buffer, static_cast<uint32_t>(n));
}

char* read_header_text() {
    int i = 0;
    while (i < kTextBufferSize - 1) {
        char c = static_cast<char>(next_byte());
        header_buffer[i++] = c;
        if (c == '\0') break;
    }
    header_buffer[i] = '\0';
    header_buffer[18] = '\0';
    return header_buffer;
}
