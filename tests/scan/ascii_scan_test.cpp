// The reader's scanner against the C library's fscanf. Every case is a text
// in a file and a script of scans; the file is opened twice, one stream is
// read with fscanf and the other with ascii_scan, and after every scan the
// return values, every byte of the arguments, the stream positions and the
// end-of-file and error flags must agree, and the count of characters our
// scan says it consumed must be the move of its stream's position.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ascii_formats.h"
#include "ascii_scan.h"
#include "chunk_handlers.h"
#include "cob_writer.h"
#include "vertexa/services.h"

namespace {

// Where the scans put their values; filled with a pattern before each scan so
// that an assignment that one side makes and the other does not shows.
struct Slots {
    int i[6];
    short h[6];
    long l[6];
    float f[6];
    double d[2];
    char c[8];
    char s[2][8192];  // longer than any word of the generated inputs
};

// One step of a script on one stream: a scan (ours or the C library's) or a
// plain stdio operation that both sides perform alike. Our scans add the
// characters they consume to *consumed, which must equal the move of the
// stream position; stdio steps leave it alone.
using Step = int (*)(FILE* in, Slots& s, bool ours, long* consumed);

struct Directive {
    const char* format;  // the scanf format, or a name for a stdio step
    Step step;
    bool scan;           // false for the stdio steps
};

// A scan of `format`: `ours_call` on our stream, fscanf with the arguments
// on the C library's.
#define LINE(format, ours_call, ...)                                                                   \
    Directive{format,                                                                                  \
              +[](FILE* in, [[maybe_unused]] Slots& s, bool ours, long* consumed) -> int {             \
                  return ours ? ours_call : std::fscanf(in, format __VA_OPT__(, ) __VA_ARGS__);        \
              },                                                                                       \
              true}
#define DIRECTIVE(format, ...) \
    LINE(format, ascii_scan_counted(in, consumed, format __VA_OPT__(, ) __VA_ARGS__) __VA_OPT__(, ) __VA_ARGS__)

namespace f = ascii_format;

// A word as the reader keeps it: 255 characters, the rest of the slot as it
// was before the scan. Not inlined: GCC 12 at -O3 takes the second of two
// adjacent slots for an overflow of the first.
[[gnu::noinline]] void keep_255(char* word, size_t size) {
    const size_t n = strnlen(word, size);
    if (n <= 255 || n == size) return;
    std::memset(word + 256, 0xA5, n - 255);
    word[255] = '\0';
}

// The shader and facet line: the reader's read_shader_line against one
// fscanf of the whole format, whose words the reader keeps to 255 characters.
int shader_line(FILE* in, Slots& s, bool ours, long* consumed) {
    if (ours) return read_shader_line(in, s.s[0], s.s[1], consumed);
    const int r = std::fscanf(in, f::kShaderLine, s.s[0], s.s[1]);
    for (auto& word : s.s) keep_255(word, sizeof word);
    return r;
}

// Every format of the reader.
const Directive kReaderFormats[] = {
    DIRECTIVE(f::kChunkHeader, s.c, &s.i[0], &s.i[1], &s.i[2], &s.i[3], &s.i[4]),
    DIRECTIVE(f::kSkipSpace),                           DIRECTIVE(f::kTransform),
    DIRECTIVE(f::kCenter, &s.f[0], &s.f[1], &s.f[2]),   DIRECTIVE(f::kXAxis, &s.f[0], &s.f[1], &s.f[2]),
    DIRECTIVE(f::kYAxis, &s.f[0], &s.f[1], &s.f[2]),    DIRECTIVE(f::kZAxis, &s.f[0], &s.f[1], &s.f[2]),
    DIRECTIVE(f::kTransformLine, &s.f[0], &s.f[1], &s.f[2], &s.f[3]),
    DIRECTIVE(f::kVertexCount, &s.l[0]),                DIRECTIVE(f::kVertex, &s.f[0], &s.f[1], &s.f[2]),
    DIRECTIVE(f::kUVCount, &s.l[0]),                    DIRECTIVE(f::kUV, &s.f[0], &s.f[1]),
    DIRECTIVE(f::kSkipTwoWords),                        DIRECTIVE(f::kFaceCount, &s.l[0]),
    DIRECTIVE(f::kHole, &s.h[0]),                       DIRECTIVE(f::kFace, &s.h[0], &s.h[1], &s.h[2]),
    DIRECTIVE(f::kPair, &s.l[0], &s.l[1]),              DIRECTIVE(f::kMaterialNumber, &s.i[0]),
    Directive{f::kShaderLine, shader_line, true},       DIRECTIVE(f::kShader, s.s[0]),
    DIRECTIVE(f::kFacet, s.s[0]),                       DIRECTIVE(f::kRestOfWord),
    DIRECTIVE(f::kRGB, &s.f[0], &s.f[1], &s.f[2]),      DIRECTIVE(f::kAlphaLine, &s.f[0], &s.f[1], &s.f[2], &s.f[3], &s.f[4]),
    DIRECTIVE(f::kEnvironment, &s.i[0]),                DIRECTIVE(f::kTexture, &s.i[0]),
    DIRECTIVE(f::kBump, &s.i[0]),                       DIRECTIVE(f::kEnvironmentFlags, &s.i[0]),
    DIRECTIVE(f::kTextureParameters, &s.f[0], &s.f[1], &s.f[2], &s.f[3], &s.h[0]),
    DIRECTIVE(f::kBumpParameters, &s.f[0], &s.f[1], &s.f[2], &s.f[3], &s.f[4], &s.h[0]),
};

// Single directives and small combinations, beyond the reader's formats.
const Directive kPrimitives[] = {
    DIRECTIVE("%d", &s.i[0]),        DIRECTIVE("%hd", &s.h[0]),         DIRECTIVE("%ld", &s.l[0]),
    DIRECTIVE("%*d"),                DIRECTIVE("%f", &s.f[0]),          DIRECTIVE("%g", &s.f[0]),
    DIRECTIVE("%e", &s.f[0]),        DIRECTIVE("%lf", &s.d[0]),         DIRECTIVE("%*g"),
    DIRECTIVE("%s", s.s[0]),         DIRECTIVE("%5s", s.s[0]),          DIRECTIVE("%*s"),
    DIRECTIVE("%c", s.c),            DIRECTIVE("%4c", s.c),             DIRECTIVE(" %4c", s.c),
    DIRECTIVE("%[a-e0-3-]", s.s[0]), DIRECTIVE("%3[^,]", s.s[0]),       DIRECTIVE("%[]<>]", s.s[0]),
    DIRECTIVE("%d%%", &s.i[0]),      DIRECTIVE("%f,%d", &s.f[0], &s.i[0]), DIRECTIVE("x %g y", &s.f[0]),
    DIRECTIVE("%d %s %f", &s.i[0], s.s[0], &s.f[0]),
};

// The reader's dedicated line readers, each against fscanf with its format.
int three_pairs(FILE* in, Slots& s, bool ours, long* consumed) {
    if (ours) return static_cast<int>(ascii_scan_pairs(in, consumed, 3, s.l));
    int k = 0;
    while (k < 3 && std::fscanf(in, f::kPair, &s.l[2 * k], &s.l[2 * k + 1]) == 2) ++k;
    return k;
}
const Directive kLineReaders[] = {
    LINE(f::kVertex, ascii_scan_vertex(in, consumed, &s.f[0], &s.f[1], &s.f[2]), &s.f[0], &s.f[1], &s.f[2]),
    LINE(f::kUV, ascii_scan_uv(in, consumed, &s.f[0], &s.f[1]), &s.f[0], &s.f[1]),
    LINE(f::kHole, ascii_scan_hole(in, consumed, &s.h[0]), &s.h[0]),
    LINE(f::kFace, ascii_scan_face(in, consumed, &s.h[0], &s.h[1], &s.h[2]), &s.h[0], &s.h[1], &s.h[2]),
    LINE(f::kSkipSpace, ascii_skip_space(in, consumed)),
    Directive{f::kPair, three_pairs, true},
};
// The directive of `format` in one of the tables above.
template <size_t N>
const Directive& find(const Directive (&set)[N], const char* format) {
    for (const Directive& d : set)
        if (std::strcmp(d.format, format) == 0) return d;
    std::abort();
}

// Operations between scans that the reader performs on the same stream.
int read_name_line(FILE* in, Slots& s, bool, long*) {
    char* line = m_read_line(s.s[1], 200, in);
    std::fseek(in, -1, SEEK_CUR);
    return line != nullptr ? 1 : 0;
}
int peek_char(FILE* in, Slots&, bool, long*) { return std::ungetc(std::getc(in), in); }
int take_char(FILE* in, Slots&, bool, long*) { return std::getc(in); }
int seek_here(FILE* in, Slots&, bool, long*) { return std::fseek(in, 0, SEEK_CUR); }

// Stream buffer sizes: kDefault leaves stdio's, 0 is unbuffered.
constexpr int kDefault = -1;

std::string shown(const std::string& text) {
    std::string out;
    for (unsigned char ch : text.substr(0, 160)) {
        char code[8] = {static_cast<char>(ch)};
        if (ch < 0x20 || ch >= 0x7F) std::snprintf(code, sizeof code, "\\x%02X", ch);
        out += code;
    }
    return text.size() > 160 ? out + "..." : out;
}

// Two streams on one file: the C library's and ours. The file lives in
// memory (memfd), so that the many small cases cost no disk writes; the
// streams are ordinary stdio streams on it.
class StreamPair {
public:
    StreamPair() : fd_(::memfd_create("vertexa_scan_test", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~StreamPair() {
        close();
        if (fd_ >= 0) ::close(fd_);
    }
    void open(const std::string& text, int buffering) {
        close();
        ASSERT_GE(fd_, 0);
        ASSERT_EQ(::ftruncate(fd_, 0), 0);
        ASSERT_EQ(::pwrite(fd_, text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
        for (FILE*& stream : {std::ref(theirs_), std::ref(ours_)}) {
            stream = std::fopen(path_.c_str(), "rb");
            ASSERT_TRUE(stream != nullptr);
            if (buffering != kDefault) std::setvbuf(stream, nullptr, buffering == 0 ? _IONBF : _IOFBF, buffering);
        }
    }
    void rewind() { std::rewind(theirs_), std::rewind(ours_); }
    void close() {
        for (FILE*& stream : {std::ref(theirs_), std::ref(ours_)})
            if (stream != nullptr) std::fclose(stream), stream = nullptr;
    }
    // Runs one step on both; false (with a test failure) when they disagree.
    // `position` gets the stream position after the step.
    bool step(const Directive& d, const std::string& text, int index, long* position) {
        Slots a, b;
        std::memset(&a, 0xA5, sizeof a);
        std::memset(&b, 0xA5, sizeof b);
        const long before = std::ftell(ours_);
        long consumed = 0;
        const int ra = d.step(theirs_, a, false, nullptr);
        const int rb = d.step(ours_, b, true, &consumed);
        const long pa = std::ftell(theirs_), pb = std::ftell(ours_);
        const bool counted = !d.scan || consumed == pb - before;
        const int ea = std::feof(theirs_), eb = std::feof(ours_);
        const int xa = std::ferror(theirs_), xb = std::ferror(ours_);
        *position = pa;
        const bool same_args = std::memcmp(&a, &b, sizeof a) == 0;
        if (ra == rb && pa == pb && counted && (ea != 0) == (eb != 0) && (xa != 0) == (xb != 0) && same_args)
            return true;
        ADD_FAILURE() << "\"" << shown(d.format) << "\" (step " << index << ") on \"" << shown(text) << "\": fscanf "
                      << ra << " at " << pa << (ea ? " eof" : "") << ", ascii_scan " << rb << " at " << pb
                      << (eb ? " eof" : "") << (same_args ? "" : " arguments differ")
                      << (counted ? "" : " consumed count " + std::to_string(consumed));
        return false;
    }

private:
    int fd_;
    std::string path_;
    FILE* theirs_ = nullptr;
    FILE* ours_ = nullptr;
};

// Applies one directive again and again, as the reader's loops do, until the
// input ends or a scan stands still. False when the two sides disagreed.
bool repeat_until_stuck(StreamPair& streams, const Directive& d, const std::string& text) {
    long before = -1;
    for (int k = 0; k < 64; ++k) {
        long after = 0;
        if (!streams.step(d, text, k, &after)) return false;
        if (after == before) return true;
        before = after;
    }
    return true;
}

// Runs `script` once over `text` under each buffering. False when the sides disagreed.
bool run_script(StreamPair& streams, const std::string& text, const std::vector<Directive>& script,
                std::initializer_list<int> bufferings) {
    for (int b : bufferings) {
        streams.open(text, b);
        long at = 0;
        for (size_t k = 0; k < script.size(); ++k)
            if (!streams.step(script[k], text, static_cast<int>(k), &at)) return ADD_FAILURE() << "buffering " << b, false;
    }
    return true;
}

// ---- generated inputs -----------------------------------------------------

class Random {
public:
    explicit Random(uint32_t seed) : engine_(seed) {}
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(engine_() % n); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <size_t N>
    const char* pick(const char* const (&items)[N]) { return items[below(N)]; }
    std::string digits(uint32_t n) {
        std::string out(n, '0');
        for (char& c : out) c = static_cast<char>('0' + below(10));
        return out;
    }

private:
    std::mt19937 engine_;
};

const char* const kSpaces[] = {"", " ", "  ", "\t", "\n", "\r\n", "\n\n", " \r\n ", "\v", "\f", "\r"};
const char* const kNumberPieces[] = {
    "+", "-", ".", "e", "E", "e+", "e-", "E-", "p", "P", "p-", "0x", "0X", "x", "a", "F", "f", "inf", "INF",
    "infinity", "InFiNiTy", "infin", "infinit", "nan", "NaN", "na", "n", "i", "nan(", "(12)", "0", "00",
    "1", "7", "9", "-0", "0.", ".5", "1e", "1e+", "1e-5", "3.4e38", "3.5e38", "1e-45", "1e-46", "1e400",
    "0x1p-149", "0x1.fffffep127", "0x.8", "2147483647", "2147483648", "-2147483649", "32767", "32768",
    "-32769", "65535", "9223372036854775807", "9223372036854775808", "-9223372036854775809",
    "16777217", "33554434", "8388608.5", "0.1", "0.30000001", "1.17549435e-38", "4294967296"};
const char* const kOtherPieces[] = {",", "<", ">", ":", "#", "%", "]", "x", "y", "-",  "a", "Z",
                                    "World", "Vertices", "Face", "verts", "Hole", "flags", "mat", "Size",
                                    "V", "Id", "Parent", "\xE9", "\x7F", "\x01"};

// Soup of number fragments, digit runs (some far longer than any number),
// white space and other characters; ends at any point.
std::string number_soup(Random& r) {
    std::string out;
    const uint32_t pieces = 1 + r.below(10);
    for (uint32_t k = 0; k < pieces; ++k) {
        const uint32_t kind = r.below(10);
        if (kind < 4) out += r.pick(kNumberPieces);
        else if (kind < 6) out += r.digits(1 + r.below(r.chance(10) ? 400 : 12));
        else if (kind < 8) out += r.pick(kSpaces);
        else out += r.pick(kOtherPieces);
    }
    return out;
}

// A number of the kinds files hold, or of the kinds they might hold by mistake.
std::string some_number(Random& r, bool integer) {
    if (integer) {
        std::string sign = r.chance(20) ? (r.chance(50) ? "-" : "+") : "";
        if (r.chance(10)) return sign + r.digits(10 + r.below(15));
        if (r.chance(20)) return r.pick(kNumberPieces);
        return sign + r.digits(1 + r.below(6));
    }
    if (r.chance(25)) return r.pick(kNumberPieces);
    std::string out = r.chance(30) ? "-" : "";
    out += r.digits(1 + r.below(r.chance(10) ? 30 : 5));
    if (r.chance(80)) out += "." + r.digits(r.below(r.chance(10) ? 40 : 10));
    if (r.chance(15)) out += std::string(r.chance(50) ? "e" : "E") + (r.chance(50) ? "-" : "") + r.digits(1 + r.below(3));
    return out;
}

// A text for `format` that mostly matches it: its white space as random runs
// of white space, its literals as they are, its conversions as numbers or words.
std::string render(const char* format, Random& r) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p == ' ' || *p == '\n') {
            out += r.pick(kSpaces);
            continue;
        }
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '*') ++p;
        uint32_t width = 0;
        while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<uint32_t>(*p++ - '0');
        while (*p == 'h' || *p == 'l') ++p;
        switch (*p) {
            case 'd': out += some_number(r, true); break;
            case 'c': out += r.chance(50) ? "PolH" : r.digits(width); break;
            case 's': out += r.chance(80) ? std::string("phong") : r.digits(width + r.below(3)); break;
            case '[':
                while (*p != '\0' && *p != ']') ++p;
                out += r.chance(70) ? "xyz" : "";
                break;
            default: out += some_number(r, false); break;
        }
        if (*p == '\0') break;
    }
    return out;
}

// Deletes, inserts or replaces a few characters, or cuts the text short.
std::string mutate(std::string text, Random& r) {
    const uint32_t edits = r.below(4);
    for (uint32_t k = 0; k < edits && !text.empty(); ++k) {
        const size_t at = r.below(static_cast<uint32_t>(text.size()));
        switch (r.below(4)) {
            case 0: text.erase(at, 1); break;
            case 1: text.insert(at, r.pick(kNumberPieces)); break;
            case 2: text[at] = r.pick(kOtherPieces)[0]; break;
            default: text.resize(at); break;
        }
    }
    return text;
}

// ---- the tests ------------------------------------------------------------

TEST(AsciiScanAgainstFscanf, NumberSoupUnderEveryDirective) {
    std::vector<Directive> all(std::begin(kPrimitives), std::end(kPrimitives));
    all.insert(all.end(), std::begin(kLineReaders), std::end(kLineReaders));
    Random r(7);
    StreamPair streams;
    for (int n = 0; n < 1500; ++n) {
        const std::string text = number_soup(r);
        streams.open(text, kDefault);
        for (const Directive& d : all) {
            streams.rewind();
            ASSERT_TRUE(repeat_until_stuck(streams, d, text));
        }
    }
}

TEST(AsciiScanAgainstFscanf, ReaderFormatsOnMatchingAndDamagedText) {
    Random r(11);
    StreamPair streams;
    std::vector<Directive> all(std::begin(kReaderFormats), std::end(kReaderFormats));
    all.insert(all.end(), std::begin(kLineReaders), std::end(kLineReaders));
    for (const Directive& d : all) {
        for (int n = 0; n < 250; ++n) {
            std::string text;
            const uint32_t lines = 1 + r.below(3);
            for (uint32_t k = 0; k < lines; ++k) text += render(d.format, r);
            if (r.chance(60)) text = mutate(text, r);
            streams.open(text, n % 5 == 0 ? 7 : kDefault);
            ASSERT_TRUE(repeat_until_stuck(streams, d, text));
        }
    }
}

// Decimal numbers of up to 19 digits take the scanner's own conversion; those
// next to the halfway points between two floats, and those beyond, the C
// library's. Both must give fscanf's float and double.
TEST(AsciiScanAgainstFscanf, DecimalConversionIsCorrectlyRounded) {
    Random r(13);
    std::string text;
    for (int n = 0; n < 4000; ++n) {
        const uint32_t digits = 1 + r.below(19);
        std::string number = r.digits(digits);
        if (r.chance(85)) number.insert(number.begin() + r.below(digits + 1), '.');
        text += (r.chance(50) ? "-" : "") + number + r.pick(kSpaces) + " ";
    }
    // Halfway points between floats, written with few digits: 2^24 + odd
    // numbers, 2^23 + k + 0.5, and their neighbours a little above and below.
    for (uint32_t k = 1; k < 400; k += 2) {
        text += std::to_string((1u << 24) + k) + " " + std::to_string((1u << 24) + k) + ".0000000001 ";
        text += std::to_string((1u << 24) + k - 1) + ".9999999999 ";
        text += std::to_string((1u << 23) + k) + ".5 " + std::to_string((1u << 25) + 2 * k) + " ";
    }
    // Numbers of 22 decimals that are not halfway points but whose nearest
    // double is one: a float taken from that double would round the wrong
    // way half of the time. Below 9e-7 their digits fit 2^53.
    int near_halfway = 0;
    for (uint32_t k = 0; k < 3000; ++k) {
        const float low = 1e-7f + static_cast<float>(k) * 2.6e-10f;
        const double halfway = (static_cast<double>(low) + static_cast<double>(std::nextafter(low, 1.0f))) / 2;
        const long long guess = std::llround(halfway * 1e22);
        for (long long m = guess - 2; m <= guess + 2; ++m) {
            char number[40];
            std::snprintf(number, sizeof number, "0.%022lld", m);
            if (std::strtod(number, nullptr) != halfway) continue;
            text += std::string(number) + "\n";
            ++near_halfway;
        }
    }
    ASSERT_GT(near_halfway, 1000);
    StreamPair streams;
    for (const Directive& d : {find(kPrimitives, "%f"), find(kPrimitives, "%lf"), find(kLineReaders, f::kVertex)}) {
        streams.open(text, kDefault);
        for (int k = 0;; ++k) {
            long at = 0;
            ASSERT_TRUE(streams.step(d, "(decimal sweep)", k, &at));
            if (at >= static_cast<long>(text.size()) - 40) break;
        }
    }
}

// Every directive on every prefix of a text it matches: the input ends
// inside white space, inside literals, inside numbers and words.
TEST(AsciiScanAgainstFscanf, EndOfFileAtEveryCharacter) {
    const std::pair<const Directive&, const char*> cases[] = {
        {find(kReaderFormats, f::kChunkHeader), "PolH V0.08 Id 7 Parent 3 Size 00000120\n"},
        {find(kReaderFormats, f::kCenter), "\r\ncenter -1.5e-3 +2.25 0x1p3\n"},
        {find(kReaderFormats, f::kVertex), "\n -0.000123 infinity nan\n"},
        {find(kLineReaders, f::kVertex), "\n -1.5e-3 +2.25 1234567890123456789012.5e-3\n"},
        {find(kLineReaders, f::kUV), "\r\n.5 -0x1p-3\r\n"},
        {find(kLineReaders, f::kHole), "\n Hole verts 3\n"},
        {find(kLineReaders, f::kFace), "\r\nFace verts 4 flags 0 mat 12\r\n"},
        {find(kLineReaders, f::kPair), "<123,-456> <7,+8>\r\n<9, 10> "},
        {find(kReaderFormats, f::kSkipTwoWords), "\n bad words\n"},
        {find(kReaderFormats, f::kFace), "\nFace verts 4 flags 0 mat 12\n"},
        {find(kReaderFormats, f::kPair), "<123,-456> \n"},
        {find(kReaderFormats, f::kShaderLine), "\nshader: phong  facet: auto32\n"},
        {find(kReaderFormats, f::kRestOfWord), "abcdef ghi"},
        {find(kReaderFormats, f::kBumpParameters), "\noffset 0.25,0.5  repeats 4,4  amp 0.75  flags 3\n"},
        {find(kPrimitives, "%*d"), "  -00012x"},
        {find(kPrimitives, "%g"), "  +1.5E+07 INF"},
        {find(kPrimitives, "%4c"), "a b"},
        {find(kPrimitives, "%[a-e0-3-]"), "ab-c3z"},
    };
    StreamPair streams;
    for (const auto& [directive, whole] : cases)
        for (size_t cut = 0; cut <= std::strlen(whole); ++cut)
            for (int b : {kDefault, 1}) {
                const std::string text(whole, cut);
                streams.open(text, b);
                ASSERT_TRUE(repeat_until_stuck(streams, directive, text));
            }
}

// The shader and facet line as damaged files hold it: a failed keyword ends
// the line and leaves the next one (rgb ...) to be read; words beyond 255
// characters are cut but consumed whole, up to white space of any kind.
TEST(AsciiScanAgainstFscanf, ShaderLineReadsAsOneFormat) {
    const std::string x300(300, 'x'), rgb = "\nrgb 0.5,0.25,1\n";
    const std::string texts[] = {
        "\nshader: phong  facet: auto32" + rgb,
        rgb,                                              // line missing
        "\nshader:",                                      // cut after shader:
        "\nshader:" + rgb,                                // cut there, the line goes on
        "\nshader: phong",                                // cut before facet:
        "\nshadr: phong  facet: flat" + rgb,              // misspelt
        "\nshader phong  facet: flat" + rgb,
        "\nshader: phong  facit: flat" + rgb,
        "\nshader: phong" + rgb,                          // facet missing
        "\nshader: " + x300 + "  facet: " + std::string(255, 'y') + rgb,
        "\nshader: " + std::string(256, 's') + "  facet: " + x300 + rgb,
        "\nshader: " + x300 + "\vz  facet: flat" + rgb,    // %s stops at every white space
        "\nshader: " + x300 + "\f  facet: flat" + rgb,
    };
    const std::vector<Directive> script = {find(kReaderFormats, f::kShaderLine), find(kReaderFormats, f::kRGB)};
    StreamPair streams;
    for (const std::string& text : texts) ASSERT_TRUE(run_script(streams, text, script, {kDefault, 1}));
}

// Whole ASCII files of the writer, damaged, read by a fixed script in the
// reader's order, with the stdio calls the reader mixes in, under every
// buffering: buffer boundaries fall everywhere.
TEST(AsciiScanAgainstFscanf, WriterFilesReadInTheReadersOrder) {
    // 26 vertices, 42 texture vertices, 30 faces of three to five corners; every 7th a hole.
    cobtest::Polygon p = cobtest::uv_sphere("Scan Test", 6, 5);
    p.faces[3].corners.push_back({0, 0});
    for (size_t k = 0; k < p.faces.size(); ++k) {
        p.faces[k].hole = k % 7 == 6;
        p.faces[k].material = static_cast<uint16_t>(k % 3);
    }
    cobtest::Material m{.maps = {{cobtest::MapKind::Texture, 2, "wood.bmp", 0.25f, 0.5f, 2, 3, 1, {}, {}}}};
    m.ascii_facet = "auto32";

    const Directive line{"name line", read_name_line, false}, peek{"getc/ungetc", peek_char, false},
        take{"getc", take_char, false}, seek{"fseek to here", seek_here, false};
    // The line readers where the reader uses them.
    auto rf = [](const char* format) {
        for (const Directive& d : kLineReaders)
            if (d.format == format && format != f::kPair) return d;
        return find(kReaderFormats, format);
    };
    std::vector<Directive> script = {rf(f::kChunkHeader), rf(f::kSkipSpace), line, rf(f::kCenter), rf(f::kXAxis),
                                     rf(f::kYAxis), rf(f::kZAxis), rf(f::kTransform), rf(f::kTransformLine),
                                     rf(f::kTransformLine), seek, rf(f::kTransformLine), rf(f::kTransformLine),
                                     rf(f::kVertexCount)};
    for (size_t k = 0; k < p.vertices.size(); ++k) script.push_back(rf(f::kVertex));
    script.push_back(rf(f::kUVCount));
    for (size_t k = 0; k < p.uvs.size(); ++k) script.push_back(k % 9 == 8 ? rf(f::kSkipTwoWords) : rf(f::kUV));
    script.push_back(rf(f::kFaceCount));
    for (size_t k = 0; k < p.faces.size(); ++k) {
        script.insert(script.end(), {rf(f::kHole), rf(f::kFace), rf(f::kSkipSpace), find(kLineReaders, f::kPair), rf(f::kPair)});
        if (k % 5 == 0) script.push_back(peek);
    }
    for (const char* format : {f::kChunkHeader, f::kMaterialNumber, f::kShaderLine, f::kRGB, f::kAlphaLine,
                               f::kEnvironment, f::kTexture, f::kBump})
        script.push_back(rf(format));
    script.insert(script.end(), {take, rf(f::kTextureParameters)});

    Random r(17);
    StreamPair streams;
    for (bool crlf : {false, true}) {
        // The chunks, as the reader sees them.
        const std::string whole = cobtest::CobFile(cobtest::Encoding::Ascii).crlf(crlf).polygon(7, 0, p).material(8, 7, m).end().bytes().substr(32);
        for (int n = 0; n < 40; ++n)
            ASSERT_TRUE(run_script(streams, n == 0 ? whole : mutate(whole, r), script, {kDefault, 0, 1, 7, 64}));
    }
}

}  // namespace
