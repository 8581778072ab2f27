// Windows as text: each dialog at its template positions, 4 horizontal
// dialog units to a column and 8 vertical ones to a row, inside a frame
// whose top line carries the caption.
#include <algorithm>
#include <string>
#include <vector>

#include "internal.h"
#include "render.h"

namespace vxp::detail {

namespace {

std::string without_mnemonic(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

std::vector<std::string> edit_lines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.emplace_back();
        } else if (c == '\t') {
            do lines.back() += ' ';
            while (lines.back().size() % 8 != 0);
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

// `inside` between two marks, built by appending: "+" + std::string(n, '-')
// trips a false -Wrestrict of GCC 12 at -O3.
std::string enclosed(char open, const std::string& inside, char close) {
    std::string s(1, open);
    return s.append(inside).append(1, close);
}

}  // namespace

void Canvas::put(int row, int col, const std::string& s, bool mark) {
    if (row < 0 || row >= static_cast<int>(text.size())) return;
    for (size_t i = 0; i < s.size(); ++i) {
        int c = col + static_cast<int>(i);
        if (c < 0 || c >= static_cast<int>(text[row].size())) continue;
        text[row][c] = s[i];
        marked[row][c] = mark;
    }
}

Canvas render(HWND top) {
    Canvas canvas;
    if (!is_alive(top)) return canvas;
    int cols = std::max(20, top->w / 4 + 2);
    int rows = std::max(3, top->h / 8 + 2);
    canvas.text.assign(rows, std::string(cols, ' '));
    canvas.marked.assign(rows, std::vector<bool>(cols, false));
    std::string top_line = enclosed('+', std::string(cols - 2, '-'), '+');
    canvas.put(0, 0, top_line);
    canvas.put(rows - 1, 0, top_line);
    for (int r = 1; r < rows - 1; ++r) {
        canvas.put(r, 0, "|");
        canvas.put(r, cols - 1, "|");
    }
    std::string caption = " " + top->text + " ";
    if (static_cast<int>(caption.size()) > cols - 4) caption = caption.substr(0, cols - 4);
    canvas.put(0, 2, caption);

    HWND focus = state().focus;
    // Group frames first, so the controls inside are drawn over them.
    for (int pass = 0; pass < 2; ++pass) {
        for (HWND c : top->kids) {
            if ((c->style & WS_VISIBLE) == 0) continue;
            bool group = c->cls == "Button" && (c->style & BS_TYPEMASK) == BS_GROUPBOX;
            if ((pass == 0) != group) continue;
            int row = 1 + c->y / 8, col = 1 + c->x / 4;
            int cw = std::max(1, c->w / 4), ch = std::max(1, c->h / 8);
            bool mark = c == focus;
            bool enabled = (c->style & WS_DISABLED) == 0;
            if (group) {
                // The frame spans the rows and columns that its rectangle touches.
                cw = std::max(2, 1 + (c->x + c->w - 1) / 4 - col + 1);
                ch = std::max(1, 1 + (c->y + c->h - 1) / 8 - row + 1);
                std::string frame = enclosed('+', std::string(std::max(0, cw - 2), '-'), '+');
                canvas.put(row, col, frame);
                if (ch >= 2) {
                    canvas.put(row + ch - 1, col, frame);
                    for (int r = row + 1; r < row + ch - 1; ++r) {
                        canvas.put(r, col, "|");
                        canvas.put(r, col + cw - 1, "|");
                    }
                }
                canvas.put(row, col + 1, enclosed(' ', without_mnemonic(c->text).substr(0, std::max(0, cw - 4)), ' '));
            } else if (c->cls == "Button") {
                DWORD type = c->style & BS_TYPEMASK;
                if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) {
                    std::string s = std::string(c->check ? "[x] " : "[ ] ") + without_mnemonic(c->text);
                    canvas.put(row, col, s.substr(0, cw + 2), mark);
                } else {
                    std::string label = without_mnemonic(c->text);
                    std::string s = type == BS_DEFPUSHBUTTON ? "<" + label + ">" : "[" + label + "]";
                    if (!enabled) s = "(" + label + ")";
                    int pad = std::max(0, (cw - static_cast<int>(s.size())) / 2);
                    canvas.put(row, col + pad, s, mark);
                }
            } else if (c->cls == "Edit") {
                if ((c->style & ES_MULTILINE) != 0) {
                    std::vector<std::string> lines = edit_lines(c->text);
                    for (int r = 0; r < ch && r < static_cast<int>(lines.size()); ++r)
                        canvas.put(row + r, col, lines[r].substr(0, cw), mark && r == 0);
                } else {
                    std::string shown = c->text;
                    // Long texts scroll sideways: the end, where typing goes, stays in view.
                    if (static_cast<int>(shown.size()) >= cw) shown = shown.substr(shown.size() - (cw - 1));
                    shown += std::string(cw - shown.size(), '_');
                    canvas.put(row, col, shown, mark);
                }
            } else if (c->cls == "msctls_progress32") {
                int inner = std::max(1, cw - 2);
                int span = std::max(1, c->upper - c->lower);
                int filled = std::clamp((c->pos - c->lower) * inner / span, 0, inner);
                canvas.put(row, col, enclosed('[', std::string(filled, '#') + std::string(inner - filled, '.'), ']'));
            } else {
                std::string s = c->text.substr(0, std::min<size_t>(c->text.size(), cw));
                int pad = (c->style & SS_CENTER) != 0 ? (cw - static_cast<int>(s.size())) / 2 : 0;
                canvas.put(row, col + pad, s);
            }
        }
    }
    return canvas;
}

}  // namespace vxp::detail

namespace vxp {

std::vector<std::string> render_text(HWND top_level) { return detail::render(top_level).text; }

}  // namespace vxp
