#include "ascii_scan.h"

#include <locale.h>

#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "reader_state.h"

namespace {

// ---------------------------------------------------------------------------
// The stream, one character at a time. get() consumes a character; unget()
// gives back the character that the last get() returned, which is all that
// the scanner ever gives back.
//
// With glibc the scanner works on the stream's buffer directly: it keeps the
// read pointer of the buffer in a local variable while it scans and stores it
// back into the stream before it asks the stream to refill the buffer and
// when the scan ends. The character that the last get() returned always lies
// right behind that pointer (a refill puts it first in the new buffer), so
// giving it back is a step back of the pointer, which is what glibc's own
// ungetc does for it. Elsewhere getc and ungetc do the job.
class Input {
public:
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

#if defined(__GLIBC__)
    // `consumed`, when given, grows by the number of characters the scan
    // consumes (the move of the stream position).
    Input(FILE* in, long* consumed) : in_(in), consumed_(consumed) {
        load();
        start_ = next_;
    }
    ~Input() {
        store();
        if (consumed_ != nullptr) *consumed_ += consumed_in_buffer_ + (next_ - start_);
    }
    int get() {
        if (next_ < end_) return *next_++;
        store();
        consumed_in_buffer_ += next_ - start_;
        const int c = getc_unlocked(in_);  // refills the buffer, or ends the input
        load();
        start_ = c != EOF ? next_ - 1 : next_;  // the character just read counts in the new buffer
        return c;
    }
    void unget(int c) {
        if (c != EOF) --next_;
    }
    // The characters in the buffer from the read position on, for the fast
    // paths below, which consume them by moving the position.
    const unsigned char* cursor() const { return next_; }
    const unsigned char* limit() const { return end_; }
    void advance_to(const unsigned char* p) { next_ = p; }

private:
    void load() {
        next_ = reinterpret_cast<const unsigned char*>(in_->_IO_read_ptr);
        end_ = reinterpret_cast<const unsigned char*>(in_->_IO_read_end);
    }
    void store() { in_->_IO_read_ptr = const_cast<char*>(reinterpret_cast<const char*>(next_)); }

    FILE* in_;
    long* consumed_;
    const unsigned char* next_ = nullptr;
    const unsigned char* end_ = nullptr;
    const unsigned char* start_ = nullptr;  // where counting resumed in this buffer
    long consumed_in_buffer_ = 0;           // characters consumed in earlier buffers
#else
    Input(FILE* in, long* consumed) : in_(in), consumed_(consumed) {}
    ~Input() {
        if (consumed_ != nullptr) *consumed_ += count_;
    }
    int get() {
        const int c = getc_unlocked(in_);
        if (c != EOF) ++count_;
        return c;
    }
    void unget(int c) {
        if (c == EOF) return;
        std::ungetc(c, in_);
        --count_;
    }
    // No buffer to look into: the fast paths never apply.
    const unsigned char* cursor() const { return nullptr; }
    const unsigned char* limit() const { return nullptr; }
    void advance_to(const unsigned char*) {}

private:
    FILE* in_;
    long* consumed_;
    long count_ = 0;
#endif
};

// White space of the "C" locale.
inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool is_digit(int c) { return c >= '0' && c <= '9'; }
inline bool is_xdigit(int c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline int to_lower(int c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

// The characters of one number as the C library collects them before it
// converts them; short texts stay on the stack. They are kept as char8_t,
// which unlike char may not alias other objects, so that storing one does
// not oblige the compiler to reload the scanner's buffer pointers.
class NumberText {
public:
    void add(int c) {
        if (size_ < kShort) short_[size_] = static_cast<char8_t>(c);
        else add_long(c);
        ++size_;
    }
    size_t size() const { return size_; }
    int back() const { return size_ <= kShort ? short_[size_ - 1] : static_cast<unsigned char>(long_text_.back()); }
    const char* c_str() {
        if (size_ > kShort) return long_text_.c_str();
        short_[size_] = u8'\0';
        return reinterpret_cast<const char*>(short_);
    }

private:
    static constexpr size_t kShort = 63;

    __attribute__((noinline)) void add_long(int c) {
        if (size_ == kShort) long_text_.assign(reinterpret_cast<const char*>(short_), kShort);
        long_text_.push_back(static_cast<char>(c));
    }

    char8_t short_[kShort + 1];
    size_t size_ = 0;
    std::string long_text_;
};

#if defined(_WIN32)
// MinGW's own conversions (correctly rounded, hexadecimal included) read the
// C locale's decimal point; the plug-in never changes the locale.
double text_to_double(const char* start, char** end) { return __mingw_strtod(start, end); }
float text_to_float(const char* start, char** end) { return __mingw_strtof(start, end); }
#else
locale_t c_locale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}
double text_to_double(const char* start, char** end) { return strtod_l(start, end, c_locale()); }
float text_to_float(const char* start, char** end) { return strtof_l(start, end, c_locale()); }
#endif

// Powers of ten that a double holds exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common case of [sign]digits[.digits] without an exponent and with at
// most 19 significant digits, collected as the integer m with k digits after
// the point. When m <= 2^53 and k <= 22, m / 10^k is one correctly rounded
// division of exact doubles. Rounding that double to float gives the
// correctly rounded float (the strtof result) unless the double lies exactly
// halfway between two floats: every such halfway point is itself a double,
// so the exact value and its nearest double lie on the same side of it.
// Returns false where the text needs the C library.
bool convert_decimal(uint64_t m, int k, bool negative, bool want_double, double* out) {
    if (m > (uint64_t{1} << 53) || k > 22) return false;
    const double d = static_cast<double>(m) / kExactPowers[k];
    if (!want_double && m != 0) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        // m <= 2^53 and 10^k <= 10^22 keep d within the normal floats, where
        // a double halfway between two floats ends in 1 followed by 28 zeros.
        if ((bits & 0x1FFFFFFFu) == 0x10000000u) return false;
    }
    *out = negative ? -d : d;
    return true;
}

enum class Outcome { Ok, InputError, MatchError };

// ---------------------------------------------------------------------------
// Fast paths for the forms files are made of, on characters that lie in the
// buffer: they give what the character-by-character routines below give, or
// leave the input untouched and return false, and the routines take over.

// White space before a conversion: consumed up to the first other character.
void skip_space_fast(Input& in) {
    const unsigned char* p = in.cursor();
    const unsigned char* end = in.limit();
    while (p < end && is_space(*p)) ++p;
    in.advance_to(p);
    if (p < end) return;
    int c;  // the buffer ran out: on character by character
    do c = in.get();
    while (is_space(c));
    in.unget(c);
}

// [sign]digits, at most 18 of them, followed by a character in the buffer:
// that character is left unread, as the C library pushes it back.
bool integer_fast(Input& in, long* value) {
    const unsigned char* p = in.cursor();
    const unsigned char* end = in.limit();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    const unsigned char* first = p;
    uint64_t magnitude = 0;
    while (p < end && is_digit(*p)) {
        if (p - first == 18) return false;
        magnitude = magnitude * 10 + static_cast<uint64_t>(*p++ - '0');
    }
    if (p == first || p == end) return false;
    *value = negative ? -static_cast<long>(magnitude) : static_cast<long>(magnitude);
    in.advance_to(p);
    return true;
}

// [sign]digits[.digits] (or [sign].digits) followed in the buffer by a
// character that ends the number without an exponent: where the C library
// pushes that character back and converts the digits, convert_decimal gives
// its result whenever it gives one.
bool float_fast(Input& in, bool want_double, double* value) {
    const unsigned char* p = in.cursor();
    const unsigned char* end = in.limit();
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    // "0x" starts a hexadecimal number; a 0 at the end of the buffer might.
    if (p < end && *p == '0' && (p + 1 == end || p[1] == 'x' || p[1] == 'X')) return false;
    uint64_t m = 0;
    int digits = 0, after_point = 0;
    bool point = false, any = false;
    for (; p < end; ++p) {
        const int c = *p;
        if (is_digit(c)) {
            any = true;
            if (m != 0 || c != '0') {
                if (++digits > 19) return false;
                m = m * 10 + static_cast<uint64_t>(c - '0');
            }
            if (point) ++after_point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any || p == end || *p == 'e' || *p == 'E') return false;
    if (!convert_decimal(m, after_point, negative, want_double, value)) return false;
    in.advance_to(p);
    return true;
}

// Integer conversions: an optional sign, then decimal digits. The value is
// strtol's: saturated to the range of long.
Outcome scan_integer(Input& in, long* value) {
    int c = in.get();
    if (c == EOF) return Outcome::InputError;
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = in.get();
    }
    uint64_t magnitude = 0;
    bool overflow = false, any = false;
    while (is_digit(c)) {
        any = true;
        // Below this bound ten times the value and a digit stay exact; at or
        // above it the value has passed 2^63 and saturates whatever follows.
        if (magnitude < 922337203685477581u) magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        else overflow = true;
        c = in.get();
    }
    in.unget(c);  // the character after the number, or the one that is not a digit
    if (!any) return Outcome::MatchError;
    const uint64_t max_positive = static_cast<uint64_t>(LONG_MAX);
    if (negative) {
        if (overflow || magnitude > max_positive + 1) *value = LONG_MIN;
        else *value = magnitude == max_positive + 1 ? LONG_MIN : -static_cast<long>(magnitude);
    } else {
        *value = overflow || magnitude > max_positive ? LONG_MAX : static_cast<long>(magnitude);
    }
    return Outcome::Ok;
}

// Reads `word` case-insensitively after the character already taken; every
// character read is consumed, the mismatching one too.
bool take_letters(Input& in, NumberText& text, const char* word) {
    for (const char* w = word; *w != '\0'; ++w) {
        const int c = in.get();
        if (c == EOF || to_lower(c) != *w) return false;
        text.add(c);
    }
    return true;
}

// Floating-point conversions, character by character as glibc collects them;
// the text then converts as strtof (strtod) converts it, which may take less
// than all of it ("1e" gives 1).
Outcome scan_float(Input& in, bool want_double, double* value) {
    NumberText text;
    int c = in.get();
    if (c == EOF) return Outcome::InputError;
    size_t sign = 0;
    bool negative = false;
    if (c == '-' || c == '+') {
        sign = 1;
        negative = c == '-';
        text.add(c);
        c = in.get();
        if (c == EOF) return Outcome::MatchError;
    }
    bool hexadecimal = false;
    // The digits as an integer while the text has the common decimal form.
    bool plain = false;
    uint64_t m = 0;
    int digits = 0, after_point = 0;
    if (to_lower(c) == 'n') {
        text.add(c);
        if (!take_letters(in, text, "an")) return Outcome::MatchError;
    } else if (to_lower(c) == 'i') {
        text.add(c);
        if (!take_letters(in, text, "nf")) return Outcome::MatchError;
        c = in.get();
        if (c != EOF) {
            if (to_lower(c) == 'i') {
                text.add(c);
                if (!take_letters(in, text, "nity")) return Outcome::MatchError;
            } else {
                in.unget(c);
            }
        }
    } else {
        int exponent_char = 'e';
        bool got_digit = false, got_dot = false, got_e = false;
        if (c == '0') {
            text.add(c);
            c = in.get();
            if (to_lower(c) == 'x') {
                text.add(c);
                hexadecimal = true;
                exponent_char = 'p';
                c = in.get();
            } else {
                got_digit = true;
            }
        }
        plain = !hexadecimal;
        for (;;) {
            if (is_digit(c) || (!got_e && hexadecimal && is_xdigit(c))) {
                text.add(c);
                got_digit = true;
                if (plain) {
                    if (m != 0 || c != '0') {  // leading zeros are not significant
                        if (++digits > 19) plain = false;
                        m = m * 10 + static_cast<uint64_t>(c - '0');
                    }
                    if (got_dot) ++after_point;
                }
            } else if (got_e && to_lower(text.back()) == exponent_char && (c == '-' || c == '+')) {
                text.add(c);
            } else if (got_digit && !got_e && to_lower(c) == exponent_char) {
                text.add(c);
                got_e = got_dot = true;
                plain = false;
            } else if (!got_dot && c == '.') {
                text.add(c);
                got_dot = true;
            } else {
                in.unget(c);
                break;
            }
            c = in.get();
            if (c == EOF) break;
        }
        if (text.size() == sign || (hexadecimal && text.size() == 2 + sign)) return Outcome::MatchError;
        if (plain && got_digit && convert_decimal(m, after_point, negative, want_double, value)) {
            if (!want_double) *value = static_cast<double>(static_cast<float>(*value));
            return Outcome::Ok;
        }
    }
    const char* start = text.c_str();
    char* end = nullptr;
    if (want_double) {
        *value = text_to_double(start, &end);
    } else {
        *value = static_cast<double>(text_to_float(start, &end));
    }
    return end == start ? Outcome::MatchError : Outcome::Ok;
}

// The set of a %[ directive, glibc's reading of it: a leading ']' or '-' is
// a member, "a-z" is a range when its ends are in order. Returns the format
// after the closing ']', or null when there is none.
const char* parse_set(const char* f, bool member[256], bool* negated) {
    *negated = *f == '^';
    if (*negated) ++f;
    std::memset(member, 0, 256 * sizeof(bool));
    unsigned char fc = static_cast<unsigned char>(*f);
    if (fc == ']' || fc == '-') {
        member[fc] = true;
        ++f;
    }
    while ((fc = static_cast<unsigned char>(*f++)) != '\0' && fc != ']') {
        const unsigned char next = static_cast<unsigned char>(*f);
        if (fc == '-' && next != '\0' && next != ']' && static_cast<unsigned char>(f[-2]) <= next) {
            for (unsigned k = static_cast<unsigned char>(f[-2]); k < next; ++k) member[k] = true;
        } else {
            member[fc] = true;
        }
    }
    return fc == '\0' ? nullptr : f;
}

}  // namespace

namespace {

int scan(FILE* stream, long* consumed, const char* format, va_list args) {
    Input in(stream, consumed);
    int done = 0;
    bool skip_space = false;
    // Input that ends before the first assignment gives EOF, else the count.
    auto input_error = [&done] { return done == 0 ? EOF : done; };

    const char* f = format;
    while (*f != '\0') {
        const int fc = static_cast<unsigned char>(*f++);
        if (fc != '%') {
            if (is_space(fc)) {
                skip_space = true;
                continue;
            }
            if (skip_space) {
                // Spaces in the buffer are consumed here as below; the
                // character after them is matched in place.
                const unsigned char* p = in.cursor();
                const unsigned char* end = in.limit();
                while (p < end && is_space(*p)) ++p;
                in.advance_to(p);
                if (p < end) {
                    skip_space = false;
                    if (*p != fc) return done;
                    in.advance_to(p + 1);
                    continue;
                }
            } else if (in.cursor() < in.limit()) {
                if (*in.cursor() != fc) return done;
                in.advance_to(in.cursor() + 1);
                continue;
            }
            int c = in.get();
            if (c == EOF) return input_error();
            if (skip_space) {
                while (is_space(c)) {
                    c = in.get();
                    if (c == EOF) return input_error();
                }
                skip_space = false;
            }
            if (c != fc) {
                in.unget(c);
                return done;
            }
            continue;
        }

        bool suppress = false;
        if (*f == '*') {
            suppress = true;
            ++f;
        }
        int width = 0;
        while (is_digit(static_cast<unsigned char>(*f))) width = width * 10 + (*f++ - '0');
        if (width == 0) width = -1;
        bool is_short = false, is_long = false;
        if (*f == 'h') {
            is_short = true;
            ++f;
        } else if (*f == 'l') {
            is_long = true;
            ++f;
        }
        if (*f == '\0') return done;
        const int conversion = static_cast<unsigned char>(*f++);

        if (skip_space || (conversion != '[' && conversion != 'c')) {
            skip_space_fast(in);
            skip_space = false;
        }

        switch (conversion) {
            case '%': {
                const int c = in.get();
                if (c == EOF) return input_error();
                if (c != '%') {
                    in.unget(c);
                    return done;
                }
                break;
            }
            case 'd': {
                if (width != -1) return done;
                long value = 0;
                const Outcome r = integer_fast(in, &value) ? Outcome::Ok : scan_integer(in, &value);
                if (r == Outcome::InputError) return input_error();
                if (r == Outcome::MatchError) return done;
                if (!suppress) {
                    if (is_long) *va_arg(args, long*) = value;
                    else if (is_short) *va_arg(args, short*) = static_cast<short>(value);
                    else *va_arg(args, int*) = static_cast<int>(value);
                    ++done;
                }
                break;
            }
            case 'e':
            case 'f':
            case 'g':
            case 'E':
            case 'F':
            case 'G':
            case 'a':
            case 'A': {
                if (width != -1 || is_short) return done;
                double value = 0.0;
                const Outcome r = float_fast(in, is_long, &value) ? Outcome::Ok : scan_float(in, is_long, &value);
                if (r == Outcome::InputError) return input_error();
                if (r == Outcome::MatchError) return done;
                if (!suppress) {
                    if (is_long) *va_arg(args, double*) = value;
                    else *va_arg(args, float*) = static_cast<float>(value);
                    ++done;
                }
                break;
            }
            case 's': {
                if (is_short || is_long) return done;
                int c = in.get();
                if (c == EOF) return input_error();
                char* out = suppress ? nullptr : va_arg(args, char*);
                do {
                    if (is_space(c)) {
                        in.unget(c);
                        break;
                    }
                    if (out != nullptr) *out++ = static_cast<char>(c);
                } while ((width <= 0 || --width > 0) && (c = in.get()) != EOF);
                if (out != nullptr) {
                    *out = '\0';
                    ++done;
                }
                break;
            }
            case 'c': {
                if (is_short || is_long) return done;
                if (width == -1) width = 1;
                int c = in.get();
                if (c == EOF) return input_error();
                char* out = suppress ? nullptr : va_arg(args, char*);
                do {
                    if (out != nullptr) *out++ = static_cast<char>(c);
                } while (--width > 0 && (c = in.get()) != EOF);
                if (out != nullptr) ++done;
                break;
            }
            case '[': {
                if (is_short || is_long) return done;
                bool member[256];
                bool negated = false;
                f = parse_set(f, member, &negated);
                if (f == nullptr) return done;
                if (width == -1) width = INT_MAX;
                int c = in.get();
                if (c == EOF) return input_error();
                char* out = suppress ? nullptr : va_arg(args, char*);
                bool any = false;
                do {
                    if (member[c] == negated) {
                        in.unget(c);
                        break;
                    }
                    any = true;
                    if (out != nullptr) *out++ = static_cast<char>(c);
                } while (--width > 0 && (c = in.get()) != EOF);
                if (!any) return done;
                if (out != nullptr) {
                    *out = '\0';
                    ++done;
                }
                break;
            }
            default:
                return done;  // not a directive of ours
        }
    }
    // White space at the end of the format consumes the white space that follows.
    if (skip_space) {
        int c;
        do c = in.get();
        while (is_space(c));
        in.unget(c);
    }
    return done;
}

}  // namespace

int ascii_vscan(FILE* in, const char* format, va_list args) { return scan(in, nullptr, format, args); }

int ascii_scan(FILE* in, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int done = scan(in, nullptr, format, args);
    va_end(args);
    return done;
}

int ascii_scan_counted(FILE* in, long* consumed, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int done = scan(in, consumed, format, args);
    va_end(args);
    return done;
}
