// Writer of trueSpace files (.cob/.scn) for tests, fuzz seeds and benchmarks:
// `CobFile(Encoding::Ascii).polygon(7, 0, p).material(8, 7, m).end().write(path)`.
// Binary is little-endian, each chunk behind a 20-byte header whose size counts
// the bytes after it; an ASCII chunk's size counts from just after the size's
// last digit of its header line. ASCII numbers are "%.9g" (they read back to
// the same float). Counts, lengths and sizes can be overridden to make files
// that lie about their contents; "trailing" adds raw bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cobtest {

enum class Encoding { Binary, Ascii };

// Every member has an initializer, so designated initializers may leave any out.

struct Vec3 { float x = 0, y = 0, z = 0; };

// The object block that opens group and polygon chunks: name, centre, local
// axes and position.
struct Axes {
  std::string name{};                    // binary: 16-bit length + bytes; ASCII: the line "<first word> <name>"
  uint16_t duplicate = 0;                // binary: duplicate count before the name
  std::optional<uint16_t> name_length{}; // binary: length written before the name, default name.size()
  std::string ascii_first_word = "Name"; // ASCII: the word before the first blank of the name line
  Vec3 center{};
  Vec3 x_axis{1, 0, 0}, y_axis{0, 1, 0}, z_axis{0, 0, 1};
  // Stored line k is transform[k]: binary stores lines 0 to 2, ASCII all four.
  float transform[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
};

struct Corner { int32_t vertex = 0, uv = 0; };

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
  // Counts written instead of the sizes of the lists above.
  std::optional<uint32_t> vertex_count{}, uv_count{}, face_count{};
  std::string trailing{};  // raw bytes after the faces
};

enum class MapKind { Environment, Texture, Bump };

// A map sub-block of a material: environment maps carry only flags and name,
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
  std::string ascii_shader = "phong";   // ASCII shader word
  std::string ascii_facet = "faceted";  // ASCII facet word, e.g. "auto32"
  float red = 1, green = 1, blue = 1, alpha = 1, ka = 0.1f, ks = 0.5f, exp = 0.5f, ior = 1;
  std::vector<MapBlock> maps{};
  std::string trailing{};  // raw bytes after the map sub-blocks
};

// A procedural material: the material head (number to ior; head.maps and
// head.trailing are not written) followed by raw parameter bytes.
struct Procedural { Material head{}; std::string parameters{}; };

class CobFile {
 public:
  explicit CobFile(Encoding e);

  // Replaces the 32-byte file header ("Caligari V00.01BLH", blanks, '\n'); a
  // shorter text is padded with blanks and '\n', a longer one cut.
  CobFile& header(std::string first32);
  // ASCII: lines end with "\r\n" in the whole file, whenever this is called.
  CobFile& crlf(bool on);

  CobFile& group(int32_t id, int32_t parent, const Axes& axes);
  CobFile& polygon(int32_t id, int32_t parent, const Polygon& polygon);
  CobFile& material(int32_t id, int32_t parent, const Material& material);
  CobFile& procedural(int32_t id, int32_t parent, const Procedural& procedural);
  // Any chunk, its body as it stands, the type padded or cut to four
  // characters; the exact size unless one (that may lie) is declared.
  CobFile& chunk(std::string type4, int32_t id, int32_t parent, std::string body,
                 std::optional<int64_t> declared_data_size = {}, uint16_t major = 0,
                 uint16_t minor = 1);
  // The "END " chunk with an empty body that closes trueSpace files.
  CobFile& end();
  // Bytes appended as they stand.
  CobFile& raw(std::string bytes);

  std::string bytes() const;
  void write(const std::string& path) const;  // throws std::runtime_error on failure

 private:
  // Rendered when the bytes are asked for, so that crlf() reaches every chunk.
  using Piece = std::function<std::string(Encoding, const std::string& eol)>;
  CobFile& add(Piece piece);

  Encoding encoding_;
  bool crlf_ = false;
  std::string header_;
  std::vector<Piece> pieces_;
};

// Pieces encoded alone, for tests that assemble or check chunks by hand.
std::string binary_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id,
                                int32_t parent, uint32_t data_size);
// "PolH V0.08 Id 7 Parent 3 Size 00000120", no line end.
std::string ascii_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id,
                               int32_t parent, int64_t data_size);

// Chunk bodies (everything after the chunk header).
std::string polygon_body(Encoding e, const Polygon& polygon, const std::string& eol = "\n");
std::string material_body(Encoding e, const Material& material, const std::string& eol = "\n");

// The everyday polygon: five vertices, a quad (material 0) and a triangle
// (material 1), four texture vertices.
inline Polygon sample_polygon(const std::string& name = "Box") {
    Polygon p;
    p.axes.name = name;
    p.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}};
    p.uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    p.faces = {{false, 0, 0, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}, {}}, {false, 1, 0, {{0, 0}, {1, 1}, {4, 2}}, {}}};
    return p;
}

// A UV sphere of radius r about the origin, `rings` from pole to pole, faces
// clockwise from outside as trueSpace files hold them; texture vertices on a
// (segments + 1) x (rings + 1) grid, so the seam and the poles have several.
Polygon uv_sphere(const std::string& name, int segments, int rings, float r = 1, bool with_uvs = true);

}  // namespace cobtest
