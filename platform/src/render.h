// Windows drawn as rows of text (render.cpp).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace vxp::detail {

enum Attribute : unsigned char { plain = 0, inverse = 1, bold = 2 };

struct Canvas {
    std::vector<std::string> text;
    std::vector<std::vector<unsigned char>> attr;  // per cell: Attribute
    int cursor_row = -1, cursor_col = -1;           // the caret of the focused edit
    int focus_row = -1;                             // a row of the focused control
    void put(int row, int col, const std::string& s, unsigned char a = plain);
};

Canvas render(HWND top_level);

// `text` cut to `width` cells: the start and the end kept, "..." between.
std::string fit_text(const std::string& text, int width);

}  // namespace vxp::detail
