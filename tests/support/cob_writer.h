// Writer of trueSpace object and scene files (.cob/.scn) for tests, fuzz seeds
// and benchmarks. A test describes the file in a few lines and gets its bytes,
// in either encoding:
//
//   cobtest::CobFile file(cobtest::Encoding::Ascii);
//   file.polygon(7, 0, triangle).material(8, 7, red).end();
//   file.write(path);
//
// Binary files are little-endian throughout; every chunk opens with a 20-byte
// header whose data size counts the bytes after it. ASCII files are text that
// the reader takes apart with fscanf; a chunk header is the line
// "PolH V0.08 Id 7 Parent 3 Size 00000120" and its size counts the bytes from
// just after the last digit of the size number to the end of the chunk, the
// line end of the header line included. Every chunk that the writer makes
// itself ends with a line end, so the next header starts at a line start.
//
// ASCII numbers are printed with "%.9g", which reads back into a float
// exactly. One trap of the ASCII material: the image name follows the digits
// of its length directly ("texture: 5a.bmp"), so a name that starts with a
// digit reads back as part of the length; the writer writes it as given.
//
// Counts, lengths and sizes can be overridden so that tests can describe files
// that lie about their contents; "trailing" strings add raw bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cobtest {

// Every member has an initializer, so designated initializers may leave any of
// them out under -Wextra.

enum class Encoding { Binary, Ascii };

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

// The object block that opens group and polygon chunks: name, centre, local
// axes and position.
struct Axes {
  std::string name{};                    // binary: 16-bit length + bytes; ASCII: the line "<first word> <name>"
  uint16_t duplicate = 0;                // binary: duplicate count before the name
  std::optional<uint16_t> name_length{}; // binary: length written before the name, default name.size()
  std::string ascii_first_word = "Name"; // ASCII: the word before the first blank of the name line
  Vec3 center{};
  Vec3 x_axis{1, 0, 0}, y_axis{0, 1, 0}, z_axis{0, 0, 1};
  // Stored line k is transform[k][0..3]. Binary stores lines 0 to 2, ASCII all
  // four lines after the "Transform" line.
  float transform[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

struct Corner {
  int32_t vertex = 0, uv = 0;
};

struct Face {
  bool hole = false;                    // binary: flags | 0x08; ASCII: a "Hole verts" record
  uint16_t material = 0;                // not written for holes
  uint8_t flags = 0;                    // not written for ASCII holes
  std::vector<Corner> corners{};
  std::optional<uint16_t> corner_count{};  // vertex count written, default corners.size()
};

struct Polygon {
  Axes axes{};
  std::vector<Vec3> vertices{};
  std::vector<std::pair<float, float>> uvs{};
  std::vector<Face> faces{};
  // Counts written instead of the sizes of the lists above (for example
  // 4000000000 with little data behind it).
  std::optional<uint32_t> vertex_count{}, uv_count{}, face_count{};
  std::string trailing{};  // raw bytes after the faces
};

enum class MapKind { Environment, Texture, Bump };

// A map sub-block of a material. Environment maps carry only flags and name;
// texture maps add offsets and repeats, bump maps also the amplitude.
struct MapBlock {
  MapKind kind = MapKind::Texture;
  uint8_t flags = 0;
  std::string image{};
  float offset_u = 0, offset_v = 0, repeats_u = 1, repeats_v = 1, amplitude = 1;
  std::optional<int> ascii_length{};         // length on the ASCII keyword line, default image.size()
  std::optional<uint16_t> binary_length{};   // binary length prefix, default image.size()
};

struct Material {
  uint16_t number = 0;
  char shader = 'p';                    // binary shader byte
  char facet = 'f';                     // binary facet byte
  uint8_t auto_facet = 0;               // binary auto-facet byte
  std::string ascii_shader = "phong";   // ASCII shader word
  std::string ascii_facet = "faceted";  // ASCII facet word, e.g. "auto32"
  float red = 1, green = 1, blue = 1, alpha = 1, ka = 0.1f, ks = 0.5f, exp = 0.5f, ior = 1;
  std::vector<MapBlock> maps{};
  std::string trailing{};  // raw bytes after the map sub-blocks
};

// A procedural material: the material head (number to ior; head.maps and
// head.trailing are not written) followed by raw parameter bytes.
struct Procedural {
  Material head{};
  std::string parameters{};
};

// Chunk versions the typed chunk functions write. Readers do not consult them.
struct Version {
  uint16_t major = 0, minor = 1;
};
inline constexpr Version kGroupVersion{0, 1};
inline constexpr Version kPolygonVersion{0, 8};
inline constexpr Version kMaterialVersion{0, 8};
inline constexpr Version kProceduralVersion{0, 8};
inline constexpr Version kEndVersion{1, 0};

class CobFile {
 public:
  explicit CobFile(Encoding e);

  // Replaces the 32-byte file header. A shorter text is padded with blanks to
  // 31 bytes and closed by '\n' (the layout of the default header); a longer
  // one is cut to 32 bytes. The default is "Caligari V00.01", the format
  // letter 'B' or 'A', "LH", blanks and '\n' as the 32nd byte.
  CobFile& header(std::string first32);
  // Replaces the header by exactly these bytes, any length (none at all for a
  // file that is only chunks, or a truncated header).
  CobFile& raw_header(std::string bytes);
  // ASCII: end the lines the writer makes with "\r\n" instead of "\n". Applies
  // to the whole file whenever it is called; declared sizes stay exact.
  CobFile& crlf(bool on);

  CobFile& group(int32_t id, int32_t parent, const Axes& axes);
  CobFile& polygon(int32_t id, int32_t parent, const Polygon& polygon);
  CobFile& material(int32_t id, int32_t parent, const Material& material);
  CobFile& procedural(int32_t id, int32_t parent, const Procedural& procedural);
  // Any chunk; the body is in the file's encoding and written as it stands.
  // The type is padded with blanks or cut to four characters. Without a
  // declared size the exact one is written (ASCII: the header's line end plus
  // the body). A declared size may lie; binary keeps its low 32 bits, ASCII
  // writes it in decimal, negative values included.
  CobFile& chunk(std::string type4, int32_t id, int32_t parent, std::string body,
                 std::optional<int64_t> declared_data_size = {}, uint16_t major = 0,
                 uint16_t minor = 1);
  // The "END " chunk with an empty body that closes trueSpace files.
  CobFile& end();
  // Bytes appended as they stand.
  CobFile& raw(std::string bytes);

  Encoding encoding() const { return encoding_; }
  // The line end of ASCII lines: "\n" or "\r\n".
  std::string line_end() const { return crlf_ ? "\r\n" : "\n"; }

  std::string bytes() const;
  // Writes the whole file in binary mode; throws std::runtime_error on failure.
  void write(const std::string& path) const;

 private:
  // Pieces are rendered when the bytes are asked for, so that the line-end
  // setting reaches every chunk.
  using Piece = std::function<std::string(const CobFile&)>;
  CobFile& add(Piece piece);

  Encoding encoding_;
  bool crlf_ = false;
  std::optional<std::string> header_;
  std::vector<Piece> pieces_;
};

// Pieces encoded alone, for tests that assemble or check chunks by hand.
std::string default_header(Encoding e);
std::string binary_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id,
                                int32_t parent, uint32_t data_size);
// "PolH V0.08 Id 7 Parent 3 Size 00000120": the size zero-padded to size_width
// digits, no line end.
std::string ascii_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id,
                               int32_t parent, int64_t data_size, int size_width = 8);

// Chunk bodies (everything after the chunk header). eol is the ASCII line end
// and is ignored for binary.
std::string axes_body(Encoding e, const Axes& axes, const std::string& eol = "\n");
std::string polygon_body(Encoding e, const Polygon& polygon, const std::string& eol = "\n");
std::string material_head_body(Encoding e, const Material& material, const std::string& eol = "\n");
std::string material_body(Encoding e, const Material& material, const std::string& eol = "\n");
std::string procedural_body(Encoding e, const Procedural& procedural, const std::string& eol = "\n");

// The ASCII form of one float: "%.9g", which reads back to the same float.
std::string ascii_float(float value);

// A small textured object: five vertices, a quad and a triangle, with four
// texture vertices; the tests' and the fuzz seeds' everyday polygon.
inline Polygon sample_polygon(const std::string& name = "Box") {
    Polygon p;
    p.axes.name = name;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}};
    p.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    p.faces = {
        {false, 0, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, {}},
        {false, 1, 0, {{0, 0}, {1, 1}, {4, 2}}, {}},
    };
    return p;
}

// A UV sphere of radius r about the origin: `segments` around, `rings` from
// pole to pole (triangles at the poles, quads between), faces stored
// clockwise from outside as trueSpace files hold them; texture vertices on a
// (segments + 1) x (rings + 1) grid, so the seam and the poles have several.
Polygon uv_sphere(const std::string& name, int segments, int rings, float r = 1, bool with_uvs = true);

}  // namespace cobtest
