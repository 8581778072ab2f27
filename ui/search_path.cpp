#include "search_path.h"

#include <cstring>

namespace cob_paths {

void normalize_search_path(char* text, size_t capacity) {
    size_t n = std::strlen(text);
    if (n == 0) return;
    if (text[n - 1] != ';') {
        if (n + 2 > capacity) return;
        text[n++] = ';';
        text[n] = '\0';
    }
    if (n >= 2 && text[n - 2] == '\\') return;
    if (n + 2 > capacity) return;
    text[n - 1] = '\\';
    text[n] = ';';
    text[n + 1] = '\0';
}

bool append_folder(char* path, size_t capacity, const char* folder) {
    size_t n = std::strlen(path);
    size_t f = std::strlen(folder);
    if (n + f + 2 > capacity) return false;
    std::memcpy(path + n, folder, f);
    path[n + f] = ';';
    path[n + f + 1] = '\0';
    return true;
}

void strip_trailing_backslash(char* folder) {
    size_t n = std::strlen(folder);
    if (n > 0 && folder[n - 1] == '\\') folder[n - 1] = '\0';
}

bool ensure_trailing_backslash(char* text, size_t capacity) {
    size_t n = std::strlen(text);
    if (n > 0 && text[n - 1] == '\\') return true;
    if (n + 2 > capacity) return false;
    text[n] = '\\';
    text[n + 1] = '\0';
    return true;
}

void normalize_home_path(char* text, size_t capacity) {
    if (text[0] != '\0') ensure_trailing_backslash(text, capacity);
}

void copy_text(char* target, size_t capacity, const char* source) {
    if (capacity == 0) return;
    size_t n = source != nullptr ? std::strlen(source) : 0;
    if (n > capacity - 1) n = capacity - 1;
    if (n > 0) std::memmove(target, source, n);
    target[n] = '\0';
}

}  // namespace cob_paths
