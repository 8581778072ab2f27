// Windows as text. A terminal cell is wider than a dialog unit's share of a
// proportional font, so columns are scaled until every label of the window
// fits its rectangle (at most 4 horizontal dialog units to a column), and
// rows (8 vertical units) are laid out top to bottom so that controls whose
// columns meet never share a row: a group box's frame lines, its contents and
// the buttons under it each get rows of their own, in the template's order.
#include <algorithm>
#include <cmath>
#include <map>
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

bool is_group(HWND c) { return c->cls == "Button" && (c->style & BS_TYPEMASK) == BS_GROUPBOX; }
bool is_check(HWND c) {
    DWORD type = c->style & BS_TYPEMASK;
    return c->cls == "Button" && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX);
}
bool is_multiline(HWND c) { return c->cls == "Edit" && (c->style & ES_MULTILINE) != 0; }
// Labels: texts that belong to the template and must be read whole.
bool is_label(HWND c) { return c->cls == "Static" && (c->style & WS_BORDER) == 0; }

// The cells a label needs.
int label_cells(HWND c) {
    int n = static_cast<int>(without_mnemonic(c->text).size());
    if (is_group(c)) return n + 4;
    if (is_check(c)) return n + 4;
    return n + 1;  // and a blank before what follows
}

struct Place {
    int row = 0, col = 0, rows = 1, cols = 1;
    int bottom = -1;  // group boxes: the row of the frame's lower line
};

struct Line {
    long sort_y;
    size_t order;
    HWND control;
    bool group_bottom;
};

}  // namespace

std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool whole = n > 0 && i + n <= text.size();
        for (size_t k = 1; whole && k < n; ++k) whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (whole && n > 1 && c < 0xC2) whole = false;  // overlong forms
        out.push_back(whole ? text.substr(i, n) : "?");
        i += whole ? n : 1;
    }
    return out;
}

int character_count(const std::string& text, size_t bytes) {
    return static_cast<int>(characters(text.substr(0, std::min(bytes, text.size()))).size());
}

namespace {

std::string join(const std::vector<std::string>& chars, size_t from, size_t count) {
    std::string out;
    for (size_t i = from; i < chars.size() && i < from + count; ++i) out += chars[i];
    return out;
}

}  // namespace

std::string fit_text(const std::string& text, int width) {
    if (width <= 0) return "";
    std::vector<std::string> chars = characters(text);
    if (static_cast<int>(chars.size()) <= width) return text;
    while (!chars.empty() && chars.back() == " ") chars.pop_back();
    size_t n = chars.size(), w = static_cast<size_t>(width);
    if (n <= w) return join(chars, 0, n);
    if (w <= 3) return join(chars, 0, w);
    size_t head = (w - 3) / 2;
    size_t tail = w - 3 - head;
    return join(chars, 0, head) + "..." + join(chars, n - tail, tail);
}

void Canvas::resize(int rows, int columns) {
    cells.assign(static_cast<size_t>(rows), std::vector<std::string>(static_cast<size_t>(columns), " "));
    attr.assign(static_cast<size_t>(rows), std::vector<unsigned char>(static_cast<size_t>(columns), plain));
}

void Canvas::put(int row, int col, const std::string& s, unsigned char a) {
    if (row < 0 || row >= rows()) return;
    std::vector<std::string> chars = characters(s);
    for (size_t i = 0; i < chars.size(); ++i) {
        int c = col + static_cast<int>(i);
        if (c < 0 || c >= columns()) continue;
        cells[static_cast<size_t>(row)][static_cast<size_t>(c)] = chars[i];
        attr[static_cast<size_t>(row)][static_cast<size_t>(c)] = a;
    }
}

std::string Canvas::line(int row) const {
    std::string out;
    for (const std::string& cell : cells[static_cast<size_t>(row)]) out += cell;
    return out;
}

void put_field(Canvas& canvas, int row, int col, int width, const std::string& text, size_t caret_byte,
               size_t anchor_byte, int& scroll, bool focused, bool follow_caret) {
    std::vector<std::string> chars = characters(text);
    int n = static_cast<int>(chars.size());
    int caret = character_count(text, caret_byte);
    if (!follow_caret || n < width) scroll = 0;
    if (caret < scroll) scroll = caret;
    if (caret >= scroll + width) scroll = caret - width + 1;
    scroll = std::clamp(scroll, 0, std::max(0, n));
    std::string shown = join(chars, static_cast<size_t>(scroll), static_cast<size_t>(width));
    int blanks = width - std::min(width, n - scroll);
    canvas.put(row, col, shown + std::string(static_cast<size_t>(std::max(0, blanks)), '_'), focused ? bold : plain);
    if (!focused) return;
    int from = character_count(text, std::min(caret_byte, anchor_byte));
    int to = character_count(text, std::max(caret_byte, anchor_byte));
    for (int i = std::max(from, scroll); i < to && i < scroll + width; ++i)
        canvas.put(row, col + i - scroll, chars[static_cast<size_t>(i)], inverse);
    canvas.cursor_row = row;
    canvas.cursor_col = col + std::min(caret - scroll, width - 1);
}

Canvas render(HWND top) {
    Canvas canvas;
    if (!is_alive(top)) return canvas;
    std::vector<HWND> shown;
    for (HWND c : top->kids)
        if ((c->style & WS_VISIBLE) != 0) shown.push_back(c);

    // Dialog units to a column: 4, or fewer when a label would not fit.
    double unit = 4.0;
    for (HWND c : shown)
        if ((is_label(c) || is_group(c) || is_check(c)) && label_cells(c) > 0)
            unit = std::min(unit, static_cast<double>(c->w) / label_cells(c));
    unit = std::max(unit, 2.0);
    auto column = [unit](int x) { return static_cast<int>(std::lround(x / unit)); };

    std::map<HWND, Place> place;
    std::vector<Line> lines;
    for (size_t i = 0; i < shown.size(); ++i) {
        HWND c = shown[i];
        Place p;
        p.col = column(c->x);
        p.cols = std::max(1, column(c->x + c->w) - p.col);
        if (is_group(c)) {
            p.row = static_cast<int>(std::lround(c->y / 8.0));
            p.bottom = std::max(p.row + 1, static_cast<int>(std::lround((c->y + c->h) / 8.0)) - 1);
            lines.push_back({c->y + c->h, i, c, true});
        } else if (is_multiline(c)) {
            p.row = static_cast<int>(std::lround(c->y / 8.0));
            p.rows = std::max(1, static_cast<int>(std::lround(c->h / 8.0)));
        } else {
            p.row = static_cast<int>(std::lround((c->y + c->h / 2.0 - 4) / 8.0));
            if (is_check(c)) p.cols = std::max(p.cols, label_cells(c));
        }
        place[c] = p;
        lines.push_back({c->y, i, c, false});
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line& a, const Line& b) { return a.sort_y != b.sort_y ? a.sort_y < b.sort_y : a.order < b.order; });

    // Top to bottom: a line goes below every line already placed whose
    // columns meet its own.
    struct Placed {
        int row, rows, first, last;
    };
    std::vector<Placed> placed;
    for (const Line& line : lines) {
        Place& p = place[line.control];
        int first = p.col, last = p.col + p.cols - 1;
        int& row = line.group_bottom ? p.bottom : p.row;
        int rows = line.group_bottom || is_group(line.control) ? 1 : p.rows;
        for (const Placed& q : placed)
            if (q.first <= last && first <= q.last) row = std::max(row, q.row + q.rows);
        placed.push_back({row, rows, first, last});
    }
    int top_row = 1 << 20, inner_rows = 1, inner_cols = static_cast<int>(std::ceil(top->w / unit));
    for (const Placed& q : placed) {
        top_row = std::min(top_row, q.row);
        inner_rows = std::max(inner_rows, q.row + q.rows);
        inner_cols = std::max(inner_cols, q.last + 1);
    }
    if (placed.empty()) top_row = 0;
    inner_rows -= top_row;

    int cols = std::max(20, inner_cols + 2);
    int rows = std::max(3, inner_rows + 2);
    canvas.resize(rows, cols);
    std::string top_line = "+" + std::string(cols - 2, '-') + "+";
    canvas.put(0, 0, top_line);
    canvas.put(rows - 1, 0, top_line);
    for (int r = 1; r < rows - 1; ++r) {
        canvas.put(r, 0, "|");
        canvas.put(r, cols - 1, "|");
    }
    canvas.put(0, 2, " " + fit_text(top->text, cols - 6) + " ", bold);

    HWND focus = state().focus;
    // Group frames first, so the controls inside are drawn over them.
    for (int pass = 0; pass < 2; ++pass) {
        for (HWND c : shown) {
            if ((pass == 0) != is_group(c)) continue;
            const Place& p = place[c];
            int row = 1 + p.row - top_row, col = 1 + p.col, cw = p.cols;
            bool has_focus = c == focus;
            unsigned char mark = has_focus ? inverse : plain;
            if (has_focus) canvas.focus_row = row;
            bool enabled = (c->style & WS_DISABLED) == 0;
            if (is_group(c)) {
                int bottom = 1 + p.bottom - top_row;
                cw = std::max(2, cw);
                std::string frame = "+" + std::string(cw - 2, '-') + "+";
                canvas.put(row, col, frame);
                canvas.put(bottom, col, frame);
                for (int r = row + 1; r < bottom; ++r) {
                    canvas.put(r, col, "|");
                    canvas.put(r, col + cw - 1, "|");
                }
                canvas.put(row, col + 1, " " + fit_text(without_mnemonic(c->text), cw - 4) + " ");
            } else if (is_check(c)) {
                canvas.put(row, col, std::string(c->check ? "[x] " : "[ ] ") + without_mnemonic(c->text), mark);
            } else if (c->cls == "Button") {
                std::string label = without_mnemonic(c->text);
                std::string s = (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? "<" + label + ">" : "[" + label + "]";
                if (!enabled) s = "(" + label + ")";
                if (static_cast<int>(s.size()) > cw) s = fit_text(label, cw);
                int pad = std::max(0, (cw - static_cast<int>(s.size())) / 2);
                canvas.put(row, col + pad, s, mark);
            } else if (is_multiline(c)) {
                // The view of a multi-line edit; a scroll bar in its last
                // column when lines lie above or below, and '<' or '>' where
                // a line goes on to the left or right.
                std::vector<std::string> text = text_lines(c->text);
                int view_rows = p.rows;
                int total = static_cast<int>(text.size());
                bool bar = total > view_rows;
                int view_cols = std::max(1, cw - (bar ? 1 : 0));
                c->view_rows = view_rows;
                c->view_cols = view_cols;
                int widest = 0;
                for (const std::string& t : text) widest = std::max(widest, character_count(t));
                c->scroll_y = std::clamp(c->scroll_y, 0, std::max(0, total - view_rows));
                c->scroll_x = std::clamp(c->scroll_x, 0, std::max(0, widest - view_cols));
                for (int r = 0; r < view_rows; ++r) {
                    int at = c->scroll_y + r;
                    std::vector<std::string> chars =
                        characters(at < total ? text[static_cast<size_t>(at)] : std::string());
                    int n = static_cast<int>(chars.size());
                    std::string part = join(chars, static_cast<size_t>(c->scroll_x), static_cast<size_t>(view_cols));
                    canvas.put(row + r, col, std::string(static_cast<size_t>(view_cols), ' '));
                    canvas.put(row + r, col, part, has_focus && r == 0 ? inverse : plain);
                    if (n > c->scroll_x + view_cols) canvas.put(row + r, col + view_cols - 1, ">");
                    if (c->scroll_x > 0 && n > 0) canvas.put(row + r, col, "<");
                }
                if (bar) {
                    int track = std::max(1, view_rows - 2);
                    int span = std::max(1, total - view_rows);
                    int thumb = view_rows > 2 ? 1 + c->scroll_y * (track - 1) / span : -1;
                    for (int r = 0; r < view_rows; ++r) {
                        std::string cell = r == thumb ? "#" : "|";
                        if (r == 0) cell = c->scroll_y > 0 ? "^" : "-";
                        if (r == view_rows - 1) cell = c->scroll_y < total - view_rows ? "v" : "-";
                        canvas.put(row + r, col + view_cols, cell, bold);
                    }
                }
            } else if (c->cls == "Edit") {
                // One line: the caret stays in view, the text scrolling sideways.
                c->view_cols = cw;
                put_field(canvas, row, col, cw, c->text, c->caret, c->anchor, c->scroll_x, has_focus,
                          (c->style & ES_AUTOHSCROLL) != 0);
            } else if (c->cls == "msctls_progress32") {
                int inner = std::max(1, cw - 2);
                int span = std::max(1, c->upper - c->lower);
                int filled = std::clamp((c->pos - c->lower) * inner / span, 0, inner);
                canvas.put(row, col, "[" + std::string(filled, '#') + std::string(inner - filled, '.') + "]");
            } else {
                std::string s = fit_text(c->text, cw);
                int pad = (c->style & SS_CENTER) != 0 ? (cw - static_cast<int>(s.size())) / 2 : 0;
                canvas.put(row, col + pad, s);
            }
        }
    }
    return canvas;
}

}  // namespace vxp::detail

namespace vxp {

std::vector<std::string> render_text(HWND top_level) {
    detail::Canvas canvas = detail::render(top_level);
    std::vector<std::string> rows;
    for (int r = 0; r < canvas.rows(); ++r) rows.push_back(canvas.line(r));
    return rows;
}

}  // namespace vxp
