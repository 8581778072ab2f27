// Windows drawn as rows of text (render.cpp).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace vxp::detail {

enum Attribute : unsigned char { plain = 0, inverse = 1, bold = 2 };

// A grid of character cells, each holding one UTF-8 character.
struct Canvas {
    std::vector<std::vector<std::string>> cells;
    std::vector<std::vector<unsigned char>> attr;  // per cell: Attribute
    int cursor_row = -1, cursor_col = -1;           // the caret of the focused edit
    int focus_row = -1;                             // a row of the focused control
    void resize(int rows, int columns);
    int rows() const { return static_cast<int>(cells.size()); }
    int columns() const { return cells.empty() ? 0 : static_cast<int>(cells[0].size()); }
    // `s` (UTF-8) from (row, col) on, one cell per character.
    void put(int row, int col, const std::string& s, unsigned char a = plain);
    std::string line(int row) const;
};

// UTF-8 text as characters, one string each; a byte that begins no
// well-formed sequence shows as "?".
std::vector<std::string> characters(const std::string& text);
// The characters in the first `bytes` bytes of `text`.
int character_count(const std::string& text, size_t bytes = std::string::npos);

// One line of an edit in `width` cells from (row, col): the text from its
// first shown character `scroll` (kept so that the caret is in view when
// `follow_caret`), blanks as '_', the selection inverse when `focused`, and
// then the canvas's cursor at the caret.
void put_field(Canvas& canvas, int row, int col, int width, const std::string& text, size_t caret, size_t anchor,
               int& scroll, bool focused, bool follow_caret = true);

Canvas render(HWND top_level);

// `text` cut to `width` cells: the start and the end kept, "..." between.
std::string fit_text(const std::string& text, int width);

}  // namespace vxp::detail
