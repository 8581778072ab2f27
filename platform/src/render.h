// Windows drawn as rows of text (render.cpp).
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

namespace vxp::detail {

struct Canvas {
    std::vector<std::string> text;
    std::vector<std::vector<bool>> marked;  // cells of the focused control
    void put(int row, int col, const std::string& s, bool mark = false);
};

Canvas render(HWND top_level);

}  // namespace vxp::detail
