// File helpers over stdio streams.
#include <cstdio>
#include <cstring>

#include "vertexa/services.h"

long m_filesize(FILE* f) {
    if (f == nullptr) return -1;
    const long position = std::ftell(f);
    if (position < 0) return -1;
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(f);
    // Back to where the caller was, even when the size could not be had.
    if (std::fseek(f, position, SEEK_SET) != 0) return -1;
    return size;
}

long m_filepos(FILE* f) {
    if (f == nullptr) return -1;
    return std::ftell(f);
}

namespace {

// After a full buffer, `c` being the character that followed: consumes the
// line end if it comes next, so that a line of exactly size - 1 characters is
// read whole; anything else stays unread.
void consume_line_end_if_next(int c, FILE* f) {
    if (c == EOF || c == '\n') return;
    if (c != '\r') {
        std::ungetc(c, f);
        return;
    }
    // A carriage return: part of the line end only when a line feed follows.
    fpos_t after_cr;
    const bool have_position = std::fgetpos(f, &after_cr) == 0;
    const int d = std::getc(f);
    if (d == '\n') return;
    if (have_position && std::fsetpos(f, &after_cr) == 0) {
        // fsetpos dropped any push-back, so this single ungetc is guaranteed.
        std::ungetc('\r', f);
        return;
    }
    // A stream that cannot seek: push both back; the C library guarantees only
    // one, glibc takes more.
    if (d != EOF) std::ungetc(d, f);
    std::ungetc('\r', f);
}

}  // namespace

char* m_read_line(char* buffer, int size, FILE* f) {
    if (buffer == nullptr || size <= 0 || f == nullptr) return nullptr;
    const int capacity = size - 1;
    int stored = 0;
    bool read_anything = false;
    while (stored < capacity) {
        const int c = std::getc(f);
        if (c == EOF) {
            buffer[stored] = '\0';
            return read_anything ? buffer : nullptr;
        }
        read_anything = true;
        if (c == '\n') {
            buffer[stored] = '\0';
            return buffer;
        }
        if (c == '\r') {
            const int next = std::getc(f);
            if (next == '\n') {
                buffer[stored] = '\0';
                return buffer;
            }
            // A lone carriage return is data.
            if (next != EOF) std::ungetc(next, f);
        }
        buffer[stored++] = static_cast<char>(c);
    }
    buffer[stored] = '\0';
    const int c = std::getc(f);
    if (c == EOF && !read_anything) return nullptr;
    consume_line_end_if_next(c, f);
    return buffer;
}

void m_getpath(char* directory, const char* path) {
    constexpr std::size_t kDirectorySize = 260;
    if (directory == nullptr) return;
    directory[0] = '\0';
    if (path == nullptr) return;
    // The path of a file on this system: on POSIX a backslash is part of a
    // name ("a\b" is one folder), and taking it for a separator would give
    // another folder ("m/..\x\f.cob" is the file "..\x\f.cob" in m/).
    std::size_t length = 0;
    for (std::size_t i = 0; path[i] != '\0'; ++i) {
#ifdef _WIN32
        if (path[i] == '/' || path[i] == '\\') length = i + 1;
#else
        if (path[i] == '/') length = i + 1;
#endif
    }
    // A bare file name lies in the current folder.
    if (length == 0) {
        std::strcpy(directory, "./");
        return;
    }
    // A folder too long for the buffer is given as none: cut short it would
    // name another folder.
    if (length > kDirectorySize - 1) return;
    std::memmove(directory, path, length);  // the caller may pass one buffer for both
    directory[length] = '\0';
}
