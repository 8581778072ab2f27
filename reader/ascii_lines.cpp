// Readers of the lines that make up nearly all of a large ASCII file: vertex
// and texture-vertex lines, face headers and index pairs. Each gives what
// ascii_scan_counted gives with its format. The common form of a line is read
// straight from the stream's buffer: plain decimal numbers, every character
// of the line in the buffer, the character after its last number too. Any
// other text (an exponent without digits, hexadecimal, inf or nan, a number
// out of the float range, a line across the end of the buffer, a mismatch)
// leaves the stream untouched and goes to the general scanner, which then
// reads the line from the same place.
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "ascii_formats.h"
#include "ascii_scan.h"

namespace {

#if defined(__GLIBC__)
// The characters of the stream's buffer from the read position on.
struct Span {
    explicit Span(FILE* in)
        : start(reinterpret_cast<const unsigned char*>(in->_IO_read_ptr)),
          end(reinterpret_cast<const unsigned char*>(in->_IO_read_end)) {}
    const unsigned char* start;
    const unsigned char* end;
};

// Consumes `p` up to `q`: the stream's read position moves there.
inline void commit(FILE* in, long* consumed, const unsigned char* p, const unsigned char* q) {
    in->_IO_read_ptr = const_cast<char*>(reinterpret_cast<const char*>(q));
    *consumed += q - p;
}

inline bool is_space(unsigned c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(unsigned c) { return c - '0' < 10u; }

// White space up to a character in the buffer; null when the buffer ends first.
inline const unsigned char* skip_space(const unsigned char* p, const unsigned char* end) {
    while (p < end && is_space(*p)) ++p;
    return p < end ? p : nullptr;
}

// The literal `word` at p; null when it is not there whole.
inline const unsigned char* literal(const unsigned char* p, const unsigned char* end, const char* word) {
    for (; *word != '\0'; ++word, ++p)
        if (p == end || *p != static_cast<unsigned char>(*word)) return nullptr;
    return p;
}

// A %f number at p (white space before it already skipped) in the forms
// [sign]digits[.digits][e[sign]digits] and [sign].digits[...], followed in
// the buffer by a character that ends it as the C library ends it: every
// character of the number is taken, the one after it is left. std::from_chars
// rounds as strtof does; a result out of the float range goes to the
// general scanner, as does every other form. Returns the end of the number,
// or null.
inline const unsigned char* plain_float(const unsigned char* p, const unsigned char* end, float* value) {
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const unsigned char* first = p;
    while (p < end && is_digit(*p)) ++p;
    bool digits = p != first;
    if (p < end && *p == '.') {
        const unsigned char* fraction = ++p;
        while (p < end && is_digit(*p)) ++p;
        digits = digits || p != fraction;
    }
    if (!digits || p == end) return nullptr;
    // "0x" starts a hexadecimal number: only a lone 0 before the x.
    if ((*p == 'x' || *p == 'X') && p - first == 1 && *first == '0') return nullptr;
    if (*p == 'e' || *p == 'E') {
        const unsigned char* q = p + 1;
        if (q < end && (*q == '-' || *q == '+')) ++q;
        const unsigned char* exponent = q;
        while (q < end && is_digit(*q)) ++q;
        if (q == exponent || q == end) return nullptr;  // "1e", "1e+": taken and dropped, a rare form
        p = q;
    }
    float v = 0.0f;
    const auto r = std::from_chars(reinterpret_cast<const char*>(first), reinterpret_cast<const char*>(p), v);
    if (r.ec != std::errc() || r.ptr != reinterpret_cast<const char*>(p)) return nullptr;
    *value = negative ? -v : v;
    return p;
}

// A %ld or %hd number at p (white space already skipped): [sign] and at most
// 18 digits, followed in the buffer by a character that is not a digit.
inline const unsigned char* plain_integer(const unsigned char* p, const unsigned char* end, long* value) {
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const unsigned char* first = p;
    const unsigned char* limit = end - p > 18 ? p + 18 : end;
    long v = 0;
    while (p < limit && is_digit(*p)) v = v * 10 + (*p++ - '0');
    if (p == first || p == end || is_digit(*p)) return nullptr;
    *value = negative ? -v : v;
    return p;
}

// n floats, each after any white space: "\n%f %f %f" and "\n%f %f".
inline const unsigned char* floats(const unsigned char* p, const unsigned char* end, float* out, int n) {
    for (int k = 0; k < n && p != nullptr; ++k) {
        p = skip_space(p, end);
        if (p != nullptr) p = plain_float(p, end, out + k);
    }
    return p;
}

// "<%ld,%ld> ": the white space after the pair must end in the buffer.
// `out` is written only when the whole pair was read.
inline const unsigned char* pair(const unsigned char* p, const unsigned char* end, long* out) {
    long v[2];
    if (p == end || *p != '<' || (p = skip_space(p + 1, end)) == nullptr) return nullptr;
    if ((p = plain_integer(p, end, &v[0])) == nullptr || *p != ',') return nullptr;
    if ((p = skip_space(p + 1, end)) == nullptr || (p = plain_integer(p, end, &v[1])) == nullptr) return nullptr;
    if (*p != '>' || (p = skip_space(p + 1, end)) == nullptr) return nullptr;
    out[0] = v[0];
    out[1] = v[1];
    return p;
}
#endif

}  // namespace

int ascii_scan_vertex(FILE* in, long* consumed, float* x, float* y, float* z) {
#if defined(__GLIBC__)
    const Span s(in);
    float v[3];
    if (const unsigned char* q = floats(s.start, s.end, v, 3)) {
        commit(in, consumed, s.start, q);
        *x = v[0];
        *y = v[1];
        *z = v[2];
        return 3;
    }
#endif
    return ascii_scan_counted(in, consumed, ascii_format::kVertex, x, y, z);
}

int ascii_scan_uv(FILE* in, long* consumed, float* u, float* v) {
#if defined(__GLIBC__)
    const Span s(in);
    float uv[2];
    if (const unsigned char* q = floats(s.start, s.end, uv, 2)) {
        commit(in, consumed, s.start, q);
        *u = uv[0];
        *v = uv[1];
        return 2;
    }
#endif
    return ascii_scan_counted(in, consumed, ascii_format::kUV, u, v);
}

int ascii_scan_hole(FILE* in, long* consumed, short* n) {
#if defined(__GLIBC__)
    // The common case: the record is a face. The white space is taken and
    // the match fails at the first other character.
    const Span s(in);
    const unsigned char* q = skip_space(s.start, s.end);
    if (q != nullptr && *q != 'H') {
        commit(in, consumed, s.start, q);
        return 0;
    }
#endif
    return ascii_scan_counted(in, consumed, ascii_format::kHole, n);
}

int ascii_scan_face(FILE* in, long* consumed, short* n, short* flags, short* material) {
#if defined(__GLIBC__)
    const Span s(in);
    const unsigned char* p = s.start;
    const unsigned char* e = s.end;
    long v[3];
    if ((p = skip_space(p, e)) != nullptr && (p = literal(p, e, "Face")) != nullptr &&
        (p = skip_space(p, e)) != nullptr && (p = literal(p, e, "verts")) != nullptr &&
        (p = skip_space(p, e)) != nullptr && (p = plain_integer(p, e, &v[0])) != nullptr &&
        (p = skip_space(p, e)) != nullptr && (p = literal(p, e, "flags")) != nullptr &&
        (p = skip_space(p, e)) != nullptr && (p = plain_integer(p, e, &v[1])) != nullptr &&
        (p = skip_space(p, e)) != nullptr && (p = literal(p, e, "mat")) != nullptr &&
        (p = skip_space(p, e)) != nullptr && (p = plain_integer(p, e, &v[2])) != nullptr) {
        commit(in, consumed, s.start, p);
        *n = static_cast<short>(v[0]);
        *flags = static_cast<short>(v[1]);
        *material = static_cast<short>(v[2]);
        return 3;
    }
#endif
    return ascii_scan_counted(in, consumed, ascii_format::kFace, n, flags, material);
}

int ascii_skip_space(FILE* in, long* consumed) {
#if defined(__GLIBC__)
    const Span s(in);
    if (const unsigned char* q = skip_space(s.start, s.end)) {
        commit(in, consumed, s.start, q);
        return 0;
    }
#endif
    return ascii_scan_counted(in, consumed, ascii_format::kSkipSpace);
}

uint32_t ascii_scan_pairs(FILE* in, long* consumed, uint32_t n, long* pairs) {
    for (uint32_t k = 0; k < n; ++k) {
#if defined(__GLIBC__)
        const Span s(in);
        const unsigned char* p = s.start;
        const unsigned char* q;
        while (k < n && (q = pair(p, s.end, pairs + 2 * k)) != nullptr) {
            p = q;
            ++k;
        }
        commit(in, consumed, s.start, p);
        if (k == n) break;
#endif
        if (ascii_scan_counted(in, consumed, ascii_format::kPair, pairs + 2 * k, pairs + 2 * k + 1) != 2) return k;
    }
    return n;
}
