// Readers of the binary encoding's fields: little-endian numbers and
// length-prefixed texts at the input stream's position. They do not detect
// the end of the file: past it every byte reads as 0xFF. Texts are returned in
// static buffers of 1024 bytes that the next call of the same reader
// overwrites: read_string and read_name share one, read_chars has one,
// read_header_text has one.
#pragma once

#include <cstdint>

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
