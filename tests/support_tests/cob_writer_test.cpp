// Checks the test writer against the file format itself: binary chunks byte
// for byte, ASCII chunk sizes by walking the headers, and ASCII fields by
// reading them back with the reader's scanf formats.
#include "cob_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace cobtest;

std::string from_hex(std::string hex) {
  std::erase(hex, ' ');
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string to_hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%02X", c);
    out += buf;
  }
  return out;
}

// Reads a text the way fscanf reads the file: each call applies one format at
// the current position and moves past what it matched.
class Scanner {
 public:
  explicit Scanner(const std::string& text, size_t pos = 0) : text_(text), pos_(pos) {}

  template <typename... Args>
  int operator()(const std::string& format, Args*... args) {
    int used = -1;
    const int got = std::sscanf(text_.c_str() + pos_, (format + "%n").c_str(), args..., &used);
    if (used >= 0) pos_ += static_cast<size_t>(used);
    return got;
  }
  // The rest of the current line, line end excluded, then past the '\n'.
  std::string line() {
    size_t stop = text_.find('\n', pos_);
    if (stop == std::string::npos) stop = text_.size();
    std::string out = text_.substr(pos_, stop - pos_);
    if (!out.empty() && out.back() == '\r') out.pop_back();
    pos_ = stop + 1;
    return out;
  }
  std::string chars(size_t n) {
    std::string out = text_.substr(pos_, n);
    pos_ += n;
    return out;
  }
  size_t pos() const { return pos_; }

 private:
  const std::string& text_;
  size_t pos_;
};

// Applies a format of N float conversions and compares what it read, exactly.
template <size_t N>
void expect_floats(Scanner& scan, const std::string& format, const std::array<float, N>& want) {
  std::array<float, N> got{};
  const int n = std::apply([&](auto&... v) { return scan(format, &v...); }, got);
  ASSERT_EQ(n, static_cast<int>(N)) << format;
  EXPECT_EQ(got, want) << format;
}

struct AsciiHeader {
  char type[5] = {};
  int major = -1, minor = -1, id = -1, parent = -1, size = -1;
  size_t after_size = 0;  // position just after the last digit of the size
};

// One ASCII chunk header at pos, read with the reader's format.
AsciiHeader read_ascii_header(const std::string& file, size_t pos) {
  AsciiHeader h;
  Scanner scan(file, pos);
  EXPECT_EQ(scan("%4c V%d.%d Id %d Parent %d Size %d", h.type, &h.major, &h.minor, &h.id, &h.parent, &h.size), 6)
      << "no chunk header at " << pos;
  h.after_size = scan.pos();
  return h;
}

Polygon sample_polygon() {
  Polygon p;
  p.axes.name = "Cube 2";
  p.axes.center = {1.0f / 3.0f, -123456.789f, 1e-7f};
  p.axes.x_axis = {0.1f, 0.2f, 0.3f};
  p.axes.transform[0][3] = 2.5f;
  p.axes.transform[3][3] = 0.7f;
  p.vertices = {{0, 0, 0}, {1.0f / 3.0f, 3.4028235e38f, -0.1f}, {0, 1, 0}, {7, 8, 9}};
  p.uvs = {{2000000.0f, 0.1f}, {1e-6f, 0.999f}};
  Face hole{.hole = true, .corners = {{0, 0}, {1, 1}, {2, 0}}};
  Face quad{.material = 2, .flags = 4, .corners = {{0, 0}, {1, 1}, {2, 0}, {-1, 5}}};
  Face pair{.material = 65535, .corners = {{3, 1}, {0, 0}}};
  p.faces = {hole, quad, pair};
  return p;
}

Material sample_material() {
  Material m;
  m.number = 3;
  m.ascii_facet = "auto32";
  m.red = 0.1f;
  m.green = 1.0f / 3.0f;
  m.blue = 0;
  m.alpha = 0.8f;
  m.exp = 12.5f;
  m.maps = {
      {.kind = MapKind::Environment, .flags = 1, .image = "sky.bmp"},
      {.kind = MapKind::Texture, .flags = 2, .image = "C:\\maps\\my wood.JPG", .offset_u = 0.25f,
       .offset_v = 0.5f, .repeats_u = 2, .repeats_v = 3},
      {.kind = MapKind::Bump, .image = " a.bmp", .amplitude = 2.5f},
  };
  return m;
}

// An ASCII file with every kind of chunk the writer makes.
CobFile every_chunk() {
  CobFile file(Encoding::Ascii);
  Axes group;
  group.name = "Group";
  Procedural proc{sample_material(), "tx: 1\nnoise 0.5\n"};
  file.group(1, 0, group)
      .polygon(7, 1, sample_polygon())
      .chunk("Unit", 9, 7, "Units 1\n")
      .material(8, 7, sample_material())
      .procedural(10, 7, proc)
      .end();
  return file;
}

TEST(BinaryEncoding, MaterialChunkAndEndMatchHandEncodedBytes) {
  Material m;
  m.number = 3;
  m.green = 0.5f;
  m.blue = 0;
  m.ka = 0.25f;
  m.exp = 2;
  m.maps = {
      {.kind = MapKind::Texture, .flags = 2, .image = "a.bmp", .offset_u = 0.25f, .offset_v = 0.5f,
       .repeats_u = 2, .repeats_v = 3},
      {.kind = MapKind::Bump, .image = "b", .amplitude = 2.5f},
      {.kind = MapKind::Environment, .flags = 1, .image = "e"},
  };
  const std::string expected =
      std::string("Caligari V00.01BLH             \n") +
      from_hex(
          "4D617431 0000 0800 05000000 12000000 5F000000"                           // Mat1 V0.08, id 5, parent 18, 95
          "0300 70 66 00"                                                           // number, shader, facet, auto
          "0000803F 0000003F 00000000 0000803F 0000803E 0000003F 00000040 0000803F" // rgb, alpha, ka, ks, exp, ior
          "743A 02 0500 612E626D70 0000803E 0000003F 00000040 00004040"             // t: a.bmp
          "623A 00 0100 62 00000000 00000000 0000803F 0000803F 00002040"            // b: b, amp 2.5
          "653A 01 0100 65"                                                         // e: e
          "454E4420 0100 0000 00000000 00000000 00000000");                         // END V1.00
  EXPECT_EQ(to_hex(CobFile(Encoding::Binary).material(5, 18, m).end().bytes()), to_hex(expected));
}

TEST(BinaryEncoding, PolygonChunkMatchesHandEncodedBytes) {
  Polygon p;
  p.axes.name = "Tri";
  p.axes.duplicate = 1;
  p.axes.center = {0, 0, 1};
  p.axes.transform[0][3] = 2;
  p.axes.transform[3][3] = 9;  // the fourth stored line exists only in ASCII
  p.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  p.uvs = {{0, 0}, {1, 0}};
  p.faces = {{.hole = true, .flags = 1, .corners = {{0, 0}, {1, 1}, {2, 0}}},
             {.material = 2, .corners = {{0, 0}, {1, 1}, {2, 1}}}};
  p.trailing = "XY";
  const std::string expected = from_hex(
      "506F6C48 0000 0800 07000000 03000000 E1000000"  // PolH V0.08, id 7, parent 3, 225
      "0100 0300 547269"                               // duplicate 1, "Tri"
      "00000000 00000000 0000803F"                     // centre
      "0000803F 00000000 00000000 00000000 0000803F 00000000 00000000 00000000 0000803F"  // axes
      "0000803F 00000000 00000000 00000040"            // stored lines 0 to 2
      "00000000 0000803F 00000000 00000000"
      "00000000 00000000 0000803F 00000000"
      "03000000 000000000000000000000000 0000803F0000000000000000 000000000000803F00000000"
      "02000000 0000000000000000 0000803F00000000"
      "02000000"
      "09 0300 00000000 00000000 01000000 01000000 02000000 00000000"       // hole, flags 1
      "00 0300 0200 00000000 00000000 01000000 01000000 02000000 01000000"  // face, material 2
      "5859");
  EXPECT_EQ(to_hex(polygon_body(Encoding::Binary, p)), to_hex(expected.substr(20)));
  EXPECT_EQ(to_hex(CobFile(Encoding::Binary).polygon(7, 3, p).bytes().substr(32)), to_hex(expected));
}

TEST(BinaryEncoding, OverriddenCountsAndSizesAreWrittenAsGiven) {
  Polygon p;
  p.vertices = {{1, 2, 3}};
  p.vertex_count = 4000000000u;
  p.face_count = 7;
  const std::string body = polygon_body(Encoding::Binary, p);
  // 100-byte object block with an empty name, then V, one vertex, T, F.
  ASSERT_EQ(body.size(), 100u + 4 + 12 + 4 + 4);
  EXPECT_EQ(to_hex(body.substr(100, 4)), "00286BEE");
  EXPECT_EQ(to_hex(body.substr(116, 4)), "00000000");
  EXPECT_EQ(to_hex(body.substr(120, 4)), "07000000");

  const std::string file = CobFile(Encoding::Binary).chunk("PolH", 1, 0, "abc", 1000).chunk("Ab", 2, 1, "").bytes();
  EXPECT_EQ(to_hex(file.substr(32)), "506F6C480000010001000000000000" "00E8030000" "616263"
                                     "41622020000001000200000001000000" "00000000");

  Axes named;
  named.name = "abc";
  named.name_length = 9;
  EXPECT_EQ(to_hex(axes_body(Encoding::Binary, named).substr(0, 7)), "0000" "0900" "616263");
}

TEST(AsciiEncoding, ChunkHeaderReadsBackWithTheReaderFormat) {
  EXPECT_EQ(ascii_chunk_header("PolH", 0, 8, 7, 3, 120), "PolH V0.08 Id 7 Parent 3 Size 00000120");
  struct Case {
    std::string type;
    uint16_t major, minor;
    int32_t id, parent;
    int64_t size;
    int width;
  };
  for (const Case& c : {Case{"PolH", 0, 8, 7, 3, 120, 8}, Case{"END", 1, 0, 0, 0, 1, 8},
                        Case{"Mat1", 12, 34, -2, 2147483647, -5, 8}, Case{"Grou", 0, 1, 1, 0, 123456, 3}}) {
    SCOPED_TRACE(c.type);
    const std::string text = ascii_chunk_header(c.type, c.major, c.minor, c.id, c.parent, c.size, c.width);
    const AsciiHeader h = read_ascii_header(text, 0);
    std::string want_type = c.type;
    want_type.resize(4, ' ');
    EXPECT_EQ(std::string(h.type), want_type);
    EXPECT_EQ(h.major, c.major);
    EXPECT_EQ(h.minor, c.minor);
    EXPECT_EQ(h.id, c.id);
    EXPECT_EQ(h.parent, c.parent);
    EXPECT_EQ(h.size, c.size);
    EXPECT_EQ(h.after_size, text.size()) << "the size number must end the header text";
  }
}

TEST(AsciiEncoding, DeclaredSizesLeadExactlyToTheNextChunk) {
  struct LineEnds {
    size_t bare = 0, crlf = 0;
  };
  LineEnds seen[2];
  for (bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CRLF" : "LF");
    CobFile writer = every_chunk();
    writer.crlf(crlf);  // set after the chunks: must still reach all of them
    const std::string file = writer.bytes();
    ASSERT_EQ(file.substr(0, 32), "Caligari V00.01ALH             \n");

    std::vector<std::string> types;
    std::vector<int> ids;
    size_t pos = 32;
    while (pos < file.size()) {
      const AsciiHeader h = read_ascii_header(file, pos);
      ASSERT_GT(h.size, 0);
      const size_t next = h.after_size + static_cast<size_t>(h.size);
      ASSERT_LE(next, file.size());
      EXPECT_EQ(file[next - 1], '\n') << "chunk " << h.type << " does not end with a line end";
      types.push_back(h.type);
      ids.push_back(h.id);
      pos = next;
    }
    EXPECT_EQ(pos, file.size());
    EXPECT_EQ(types, (std::vector<std::string>{"Grou", "PolH", "Unit", "Mat1", "PrTx", "END "}));
    EXPECT_EQ(ids, (std::vector<int>{1, 7, 9, 8, 10, 0}));

    for (size_t i = 32; i < file.size(); ++i)
      if (file[i] == '\n') (file[i - 1] == '\r' ? seen[crlf].crlf : seen[crlf].bare)++;
  }
  // The same lines either way; only the raw texts (the "Unit" body and the
  // procedural parameters, three lines) keep their own line ends.
  EXPECT_EQ(seen[0].crlf, 0u);
  EXPECT_EQ(seen[1].bare, 3u);
  EXPECT_EQ(seen[1].crlf + 3, seen[0].bare);
}

TEST(AsciiEncoding, PolygonReadsBackWithTheReaderFormats) {
  const Polygon p = sample_polygon();
  const Axes& a = p.axes;
  for (const char* eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol[0] == '\r' ? "CRLF" : "LF");
    const std::string body = polygon_body(Encoding::Ascii, p, eol);
    Scanner scan(body);
    scan("\n");
    const std::string name_line = scan.line();
    EXPECT_EQ(name_line.substr(name_line.find(' ') + 1), "Cube 2");
    expect_floats(scan, "\ncenter %g %g %g", std::array{a.center.x, a.center.y, a.center.z});
    expect_floats(scan, "\nx axis %g %g %g", std::array{a.x_axis.x, a.x_axis.y, a.x_axis.z});
    expect_floats(scan, "\ny axis %g %g %g", std::array{a.y_axis.x, a.y_axis.y, a.y_axis.z});
    expect_floats(scan, "\nz axis %g %g %g", std::array{a.z_axis.x, a.z_axis.y, a.z_axis.z});
    ASSERT_EQ(scan("\nTransform"), 0);
    for (const auto& row : a.transform) expect_floats(scan, "\n%g %g %g %g", std::array{row[0], row[1], row[2], row[3]});

    long count = -1;
    ASSERT_EQ(scan("\nWorld Vertices %ld", &count), 1);
    ASSERT_EQ(count, 4);
    for (const Vec3& v : p.vertices) expect_floats(scan, "\n%f %f %f", std::array{v.x, v.y, v.z});
    ASSERT_EQ(scan("\nTexture Vertices %ld", &count), 1);
    ASSERT_EQ(count, 2);
    for (const auto& [u, v] : p.uvs) expect_floats(scan, "\n%f %f", std::array{u, v});

    ASSERT_EQ(scan("\nFaces %ld", &count), 1);
    ASSERT_EQ(count, 3);
    for (const Face& want : p.faces) {
      short n = 0, flags = 0, mat = 0;
      const bool hole = scan("\nHole verts %hd", &n) == 1;
      EXPECT_EQ(hole, want.hole);
      if (!hole) {
        ASSERT_EQ(scan("\nFace verts %hd flags %hd mat %hd", &n, &flags, &mat), 3);
        EXPECT_EQ(static_cast<uint16_t>(flags), want.flags);
        EXPECT_EQ(static_cast<uint16_t>(mat), want.material);
      }
      scan("\n");
      ASSERT_EQ(static_cast<size_t>(n), want.corners.size());
      for (const Corner& c : want.corners) {
        long vi = 0, ti = 0;
        ASSERT_EQ(scan("<%ld,%ld> ", &vi, &ti), 2);
        EXPECT_EQ(vi, c.vertex);
        EXPECT_EQ(ti, c.uv);
      }
    }
    EXPECT_EQ(scan.pos(), body.size()) << "text left after the last face";
  }

  Polygon lying;
  lying.vertex_count = 4000000000u;
  EXPECT_NE(polygon_body(Encoding::Ascii, lying).find("\nWorld Vertices 4000000000\n"), std::string::npos);
}

TEST(AsciiEncoding, MaterialReadsBackWithTheReaderFormats) {
  const Material m = sample_material();
  for (const char* eol : {"\n", "\r\n"}) {
    SCOPED_TRACE(eol[0] == '\r' ? "CRLF" : "LF");
    const std::string body = material_body(Encoding::Ascii, m, eol);
    Scanner scan(body);
    int number = -1, auto_facet = -1;
    ASSERT_EQ(scan("\nmat# %d", &number), 1);
    EXPECT_EQ(number, 3);
    char shader[256] = {}, facet[256] = {};
    ASSERT_EQ(scan("\nshader: %255s  facet: %255s", shader, facet), 2);
    EXPECT_STREQ(shader, "phong");
    ASSERT_EQ(std::sscanf(facet, "auto%d", &auto_facet), 1);
    EXPECT_EQ(auto_facet, 32);
    expect_floats(scan, "\nrgb %g,%g,%g", std::array{m.red, m.green, m.blue});
    expect_floats(scan, "\nalpha %g  ka %g  ks %g  exp %g  ior %g", std::array{m.alpha, m.ka, m.ks, m.exp, m.ior});

    for (const MapBlock& want : m.maps) {
      // The reader tries the keywords in this order for every sub-block.
      int length = -1;
      MapKind kind = MapKind::Bump;
      if (scan("\nenvironment: %d", &length) == 1) {
        kind = MapKind::Environment;
      } else if (scan("\ntexture: %d", &length) == 1) {
        kind = MapKind::Texture;
      } else {
        ASSERT_EQ(scan("\nbump: %d", &length), 1);
      }
      EXPECT_EQ(kind, want.kind);
      ASSERT_EQ(static_cast<size_t>(length), want.image.size());
      EXPECT_EQ(scan.chars(static_cast<size_t>(length)), want.image);
      if (kind == MapKind::Environment) {
        int flags = -1;
        ASSERT_EQ(scan("\nflags %d", &flags), 1);
        EXPECT_EQ(flags, want.flags);
        continue;
      }
      const std::array<float, 4> place{want.offset_u, want.offset_v, want.repeats_u, want.repeats_v};
      // The parameter line in pieces: one blank of a format matches any run of white space.
      expect_floats(scan, "\noffset %g,%g  repeats %g,%g", place);
      if (kind == MapKind::Bump) expect_floats(scan, "  amp %g", std::array{want.amplitude});
      short flags = -1;
      ASSERT_EQ(scan("  flags %hd", &flags), 1);
      EXPECT_EQ(flags, want.flags);
    }
    EXPECT_EQ(body.substr(scan.pos()), eol) << "text left after the last map";
  }

  // The length on the keyword line may lie; the name still follows the digits.
  Material lying;
  lying.maps = {{.kind = MapKind::Texture, .image = "a.bmp", .ascii_length = 12}};
  const std::string text = material_body(Encoding::Ascii, lying);
  EXPECT_NE(text.find("\ntexture: 12a.bmp\noffset "), std::string::npos) << text;
}

TEST(FileHeader, IsThirtyTwoBytesWithTheFormatLetter) {
  EXPECT_EQ(CobFile(Encoding::Binary).bytes(), "Caligari V00.01BLH             \n");
  EXPECT_EQ(CobFile(Encoding::Ascii).bytes(), "Caligari V00.01ALH             \n");
  EXPECT_EQ(CobFile(Encoding::Ascii).header("xxCaligari V00.01B").bytes(), "xxCaligari V00.01B             \n");
  EXPECT_EQ(CobFile(Encoding::Binary).header(std::string(40, 'q')).bytes(), std::string(32, 'q'));
  EXPECT_EQ(CobFile(Encoding::Binary).raw_header("Cal").raw("!").bytes(), "Cal!");
}

}  // namespace
