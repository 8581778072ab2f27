// The block that opens group and polygon chunks: name, centre, three axes
// and the current position.
#include <cstdio>
#include <cstring>

#include "ascii_formats.h"
#include "ascii_scan.h"
#include "chunk_handlers.h"
#include "field_readers.h"
#include "reader_state.h"

namespace {

constexpr int kLineSize = 4096;
// The ASCII name line; the next ASCII name read overwrites it.
char name_line[kLineSize];

const char* read_ascii_name() {
    FILE* in = reader_state.in;
    ascii_scan(in, ascii_format::kSkipSpace);
    name_line[0] = '\0';
    m_read_line(name_line, kLineSize - 1, in);
    // m_read_line consumes the line feed of a whole line; of a line too long
    // for the buffer it keeps the first characters and leaves the rest,
    // which is skipped here so that the fields after the name are read from
    // their own lines. A full buffer alone does not tell the two apart (a
    // line may just fit); the character before the position does.
    std::fseek(in, -1, SEEK_CUR);
    int c = getc_unlocked(in);
    while (c != '\n' && c != EOF) c = getc_unlocked(in);
    std::fseek(in, -1, SEEK_CUR);
    // The first word is a keyword; the name is everything after the first
    // blank, later blanks included. A line without a blank has no name.
    const char* blank = std::strchr(name_line, ' ');
    return blank != nullptr ? blank + 1 : "";
}

void read_ascii_vector(const char* format, MVector3& v) {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    ascii_scan(reader_state.in, format, &x, &y, &z);
    v.Init(x, y, z);
}

}  // namespace

void read_object_axes(ObjectAxes& axes) {
    LogFile* log = reader_state.log;
    axes.center.Init(0.0, 0.0, 0.0);
    axes.x_axis.Init(0.0, 0.0, 0.0);
    axes.y_axis.Init(0.0, 0.0, 0.0);
    axes.z_axis.Init(0.0, 0.0, 0.0);
    axes.cur_pos.Init();
    MMatrix& m = axes.cur_pos;

    if (reader_state.binary != 0) {
        axes.name = read_name();
        log->write(2, "name: %s\n", axes.name);
        axes.center = read_vector();
        axes.x_axis = read_vector();
        axes.y_axis = read_vector();
        axes.z_axis = read_vector();
        // Stored line k fills element k of every row: the lines are the
        // matrix's columns. The fourth column is not stored.
        for (int k = 0; k < 3; ++k)
            for (int row = 0; row < 4; ++row) m[row][k] = read_float();
    } else {
        axes.name = read_ascii_name();
        log->write(2, "name: %s\n", axes.name);
        read_ascii_vector(ascii_format::kCenter, axes.center);
        read_ascii_vector(ascii_format::kXAxis, axes.x_axis);
        read_ascii_vector(ascii_format::kYAxis, axes.y_axis);
        read_ascii_vector(ascii_format::kZAxis, axes.z_axis);
        ascii_scan(reader_state.in, ascii_format::kTransform);
        for (int k = 0; k < 4; ++k) {
            float a = static_cast<float>(m[0][k]), b = static_cast<float>(m[1][k]);
            float c = static_cast<float>(m[2][k]), d = static_cast<float>(m[3][k]);
            ascii_scan(reader_state.in, ascii_format::kTransformLine, &a, &b, &c, &d);
            m[0][k] = a;
            m[1][k] = b;
            m[2][k] = c;
            m[3][k] = d;
        }
    }
    // The texts of the vectors and the matrix take longer to make than the
    // block takes to read; without a log file nobody reads them.
    if (log->Get_FILE() == nullptr) return;
    log->write(2, "center: %s\n", axes.center.Print());
    log->write(2, "x_axis: %s\n", axes.x_axis.Print());
    log->write(2, "y_axis: %s\n", axes.y_axis.Print());
    log->write(2, "z_axis: %s\n", axes.z_axis.Print());
    log->write(2, "cur_pos: %s\n", axes.cur_pos.Print());
}
