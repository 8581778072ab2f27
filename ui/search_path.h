// Text rules of the configuration dialog and the folder chooser: the image
// search path ("d:\map\;c:\tex\;", every entry followed by ';'), folders with
// a trailing backslash, and copies into fixed fields. Plain code, no windows.
// Every function keeps the text within `capacity` bytes, terminator included.
#pragma once

#include <cstddef>

namespace cob_paths {

// The search path as the dialog leaves it when its edit loses the focus: a
// non-empty text gets a ';' at its end if it has none, and then a '\' before
// that last ';' if there is none (a text of one character counts as having
// none), so "d:\map" becomes "d:\map\;" and ";" becomes "\;". Only the last
// entry is touched; an empty text stays empty. When the '\' does not fit,
// the text keeps just its ';'; when not even the ';' fits, it stays as it is.
void normalize_search_path(char* text, size_t capacity);

// Appends `folder` and ';' to the search path. False, and the path left as it
// was, when the result would not fit.
bool append_folder(char* path, size_t capacity, const char* folder);

// Removes one trailing '\' (the chooser's start folder).
void strip_trailing_backslash(char* folder);

// Appends '\' to a text that does not end in one; false when it does not fit.
// An empty text gets one too (the chooser's result).
bool ensure_trailing_backslash(char* text, size_t capacity);

// The content directory rule: a non-empty text not ending in '\' gets one
// when it fits.
void normalize_home_path(char* text, size_t capacity);

// Copies as much of `source` as fits, always terminated.
void copy_text(char* target, size_t capacity, const char* source);

}  // namespace cob_paths
