#include "cob_writer.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace cobtest {
namespace {

// ---- binary fields, little-endian ----

void put_u8(std::string& out, uint8_t v) { out.push_back(static_cast<char>(v)); }

void put_u16(std::string& out, uint16_t v) {
  put_u8(out, static_cast<uint8_t>(v));
  put_u8(out, static_cast<uint8_t>(v >> 8));
}

void put_u32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) put_u8(out, static_cast<uint8_t>(v >> shift));
}

void put_i32(std::string& out, int32_t v) { put_u32(out, static_cast<uint32_t>(v)); }

void put_f32(std::string& out, float v) { put_u32(out, std::bit_cast<uint32_t>(v)); }

void put_vec(std::string& out, const Vec3& v) {
  put_f32(out, v.x);
  put_f32(out, v.y);
  put_f32(out, v.z);
}

// A text with a 16-bit length before it.
void put_counted(std::string& out, const std::string& text, std::optional<uint16_t> length) {
  put_u16(out, length ? *length : static_cast<uint16_t>(text.size()));
  out += text;
}

// ---- ASCII lines ----

// Collects the lines of an ASCII body, each closed by the chosen line end.
class Lines {
 public:
  explicit Lines(const std::string& eol) : eol_(eol) {}

  Lines& line(const std::string& text) {
    out_ += text;
    out_ += eol_;
    return *this;
  }
  // Text without a line end (the image name after a map keyword's digits).
  Lines& text(const std::string& text) {
    out_ += text;
    return *this;
  }
  std::string take() { return std::move(out_); }

 private:
  const std::string& eol_;
  std::string out_;
};

std::string fixed_type(std::string type4) {
  type4.resize(4, ' ');
  return type4;
}

std::string ascii_vec(const Vec3& v) {
  return ascii_float(v.x) + " " + ascii_float(v.y) + " " + ascii_float(v.z);
}

// "<v,uv> " for every corner, the line of pairs after a face or hole line.
std::string ascii_pairs(const std::vector<Corner>& corners) {
  std::string out;
  for (const Corner& c : corners)
    out.append("<").append(std::to_string(c.vertex)).append(",").append(std::to_string(c.uv)).append("> ");
  return out;
}

uint16_t corner_count(const Face& face) {
  return face.corner_count ? *face.corner_count : static_cast<uint16_t>(face.corners.size());
}

// ---- object block ----

void binary_axes(std::string& out, const Axes& a) {
  put_u16(out, a.duplicate);
  put_counted(out, a.name, a.name_length);
  put_vec(out, a.center);
  put_vec(out, a.x_axis);
  put_vec(out, a.y_axis);
  put_vec(out, a.z_axis);
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < 4; ++i) put_f32(out, a.transform[k][i]);
}

void ascii_axes(Lines& out, const Axes& a) {
  out.line(a.ascii_first_word + " " + a.name);
  out.line("center " + ascii_vec(a.center));
  out.line("x axis " + ascii_vec(a.x_axis));
  out.line("y axis " + ascii_vec(a.y_axis));
  out.line("z axis " + ascii_vec(a.z_axis));
  out.line("Transform");
  for (const auto& row : a.transform) {
    out.line(ascii_float(row[0]) + " " + ascii_float(row[1]) + " " + ascii_float(row[2]) + " " +
             ascii_float(row[3]));
  }
}

// ---- polygon ----

std::string binary_polygon(const Polygon& p) {
  std::string out;
  binary_axes(out, p.axes);
  put_u32(out, p.vertex_count ? *p.vertex_count : static_cast<uint32_t>(p.vertices.size()));
  for (const Vec3& v : p.vertices) put_vec(out, v);
  put_u32(out, p.uv_count ? *p.uv_count : static_cast<uint32_t>(p.uvs.size()));
  for (const auto& [u, v] : p.uvs) {
    put_f32(out, u);
    put_f32(out, v);
  }
  put_u32(out, p.face_count ? *p.face_count : static_cast<uint32_t>(p.faces.size()));
  for (const Face& f : p.faces) {
    put_u8(out, f.hole ? static_cast<uint8_t>(f.flags | 0x08) : f.flags);
    put_u16(out, corner_count(f));
    if (!f.hole) put_u16(out, f.material);
    for (const Corner& c : f.corners) {
      put_i32(out, c.vertex);
      put_i32(out, c.uv);
    }
  }
  out += p.trailing;
  return out;
}

std::string ascii_polygon(const Polygon& p, const std::string& eol) {
  Lines out(eol);
  ascii_axes(out, p.axes);
  out.line("World Vertices " +
           std::to_string(p.vertex_count ? *p.vertex_count : static_cast<uint32_t>(p.vertices.size())));
  for (const Vec3& v : p.vertices) out.line(ascii_vec(v));
  out.line("Texture Vertices " +
           std::to_string(p.uv_count ? *p.uv_count : static_cast<uint32_t>(p.uvs.size())));
  for (const auto& [u, v] : p.uvs) out.line(ascii_float(u) + " " + ascii_float(v));
  out.line("Faces " + std::to_string(p.face_count ? *p.face_count : static_cast<uint32_t>(p.faces.size())));
  for (const Face& f : p.faces) {
    if (f.hole) {
      out.line("Hole verts " + std::to_string(corner_count(f)));
    } else {
      out.line("Face verts " + std::to_string(corner_count(f)) + " flags " + std::to_string(f.flags) +
               " mat " + std::to_string(f.material));
    }
    out.line(ascii_pairs(f.corners));
  }
  return out.take() + p.trailing;
}

// ---- material ----

void binary_head(std::string& out, const Material& m) {
  put_u16(out, m.number);
  put_u8(out, static_cast<uint8_t>(m.shader));
  put_u8(out, static_cast<uint8_t>(m.facet));
  put_u8(out, m.auto_facet);
  for (float v : {m.red, m.green, m.blue, m.alpha, m.ka, m.ks, m.exp, m.ior}) put_f32(out, v);
}

void ascii_head(Lines& out, const Material& m) {
  out.line("mat# " + std::to_string(m.number));
  out.line("shader: " + m.ascii_shader + "  facet: " + m.ascii_facet);
  out.line("rgb " + ascii_float(m.red) + "," + ascii_float(m.green) + "," + ascii_float(m.blue));
  out.line("alpha " + ascii_float(m.alpha) + "  ka " + ascii_float(m.ka) + "  ks " + ascii_float(m.ks) +
           "  exp " + ascii_float(m.exp) + "  ior " + ascii_float(m.ior));
}

const char* binary_tag(MapKind kind) {
  switch (kind) {
    case MapKind::Environment: return "e:";
    case MapKind::Texture: return "t:";
    case MapKind::Bump: return "b:";
  }
  return "??";
}

const char* ascii_keyword(MapKind kind) {
  switch (kind) {
    case MapKind::Environment: return "environment: ";
    case MapKind::Texture: return "texture: ";
    case MapKind::Bump: return "bump: ";
  }
  return "?: ";
}

void binary_map(std::string& out, const MapBlock& map) {
  out += binary_tag(map.kind);
  put_u8(out, map.flags);
  put_counted(out, map.image, map.binary_length);
  if (map.kind == MapKind::Environment) return;
  for (float v : {map.offset_u, map.offset_v, map.repeats_u, map.repeats_v}) put_f32(out, v);
  if (map.kind == MapKind::Bump) put_f32(out, map.amplitude);
}

void ascii_map(Lines& out, const MapBlock& map) {
  const int length = map.ascii_length ? *map.ascii_length : static_cast<int>(map.image.size());
  out.text(ascii_keyword(map.kind) + std::to_string(length)).line(map.image);
  const std::string flags = "flags " + std::to_string(map.flags);
  if (map.kind == MapKind::Environment) {
    out.line(flags);
    return;
  }
  std::string params = "offset " + ascii_float(map.offset_u) + "," + ascii_float(map.offset_v) +
                       "  repeats " + ascii_float(map.repeats_u) + "," + ascii_float(map.repeats_v);
  if (map.kind == MapKind::Bump) params += "  amp " + ascii_float(map.amplitude);
  out.line(params + "  " + flags);
}

// One whole chunk: header, then body. Without a declared size the exact one
// is written; in ASCII it counts the header's line end and the body.
std::string encode_chunk(Encoding e, const std::string& eol, const std::string& type4, Version version,
                         int32_t id, int32_t parent, const std::string& body,
                         std::optional<int64_t> declared = {}) {
  if (e == Encoding::Binary) {
    const int64_t size = declared ? *declared : static_cast<int64_t>(body.size());
    return binary_chunk_header(type4, version.major, version.minor, id, parent, static_cast<uint32_t>(size)) +
           body;
  }
  const int64_t size = declared ? *declared : static_cast<int64_t>(eol.size() + body.size());
  return ascii_chunk_header(type4, version.major, version.minor, id, parent, size) + eol + body;
}

}  // namespace

// ---- pieces ----

std::string ascii_float(float value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(value));
  return buf;
}

std::string default_header(Encoding e) {
  std::string h = "Caligari V00.01";
  h += e == Encoding::Binary ? 'B' : 'A';
  h += "LH";
  h.resize(31, ' ');
  h += '\n';
  return h;
}

std::string binary_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id,
                                int32_t parent, uint32_t data_size) {
  std::string out = fixed_type(std::move(type4));
  put_u16(out, major);
  put_u16(out, minor);
  put_i32(out, id);
  put_i32(out, parent);
  put_u32(out, data_size);
  return out;
}

std::string ascii_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id,
                               int32_t parent, int64_t data_size, int size_width) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%s V%u.%02u Id %" PRId32 " Parent %" PRId32 " Size %0*" PRId64,
                fixed_type(std::move(type4)).c_str(), static_cast<unsigned>(major),
                static_cast<unsigned>(minor), id, parent, size_width, data_size);
  return buf;
}

std::string axes_body(Encoding e, const Axes& axes, const std::string& eol) {
  if (e == Encoding::Binary) {
    std::string out;
    binary_axes(out, axes);
    return out;
  }
  Lines out(eol);
  ascii_axes(out, axes);
  return out.take();
}

std::string polygon_body(Encoding e, const Polygon& polygon, const std::string& eol) {
  return e == Encoding::Binary ? binary_polygon(polygon) : ascii_polygon(polygon, eol);
}

std::string material_head_body(Encoding e, const Material& material, const std::string& eol) {
  if (e == Encoding::Binary) {
    std::string out;
    binary_head(out, material);
    return out;
  }
  Lines out(eol);
  ascii_head(out, material);
  return out.take();
}

std::string material_body(Encoding e, const Material& material, const std::string& eol) {
  if (e == Encoding::Binary) {
    std::string out;
    binary_head(out, material);
    for (const MapBlock& map : material.maps) binary_map(out, map);
    return out + material.trailing;
  }
  Lines out(eol);
  ascii_head(out, material);
  for (const MapBlock& map : material.maps) ascii_map(out, map);
  return out.take() + material.trailing;
}

std::string procedural_body(Encoding e, const Procedural& procedural, const std::string& eol) {
  return material_head_body(e, procedural.head, eol) + procedural.parameters;
}

// ---- CobFile ----

CobFile::CobFile(Encoding e) : encoding_(e) {}

CobFile& CobFile::header(std::string first32) {
  if (first32.size() < 32) {
    first32.resize(31, ' ');
    first32 += '\n';
  }
  first32.resize(32);
  header_ = std::move(first32);
  return *this;
}

CobFile& CobFile::raw_header(std::string bytes) {
  header_ = std::move(bytes);
  return *this;
}

CobFile& CobFile::crlf(bool on) {
  crlf_ = on;
  return *this;
}

CobFile& CobFile::add(Piece piece) {
  pieces_.push_back(std::move(piece));
  return *this;
}

CobFile& CobFile::chunk(std::string type4, int32_t id, int32_t parent, std::string body,
                        std::optional<int64_t> declared_data_size, uint16_t major, uint16_t minor) {
  return add([=](const CobFile& f) {
    return encode_chunk(f.encoding_, f.line_end(), type4, {major, minor}, id, parent, body, declared_data_size);
  });
}

CobFile& CobFile::group(int32_t id, int32_t parent, const Axes& axes) {
  return add([=](const CobFile& f) {
    return encode_chunk(f.encoding_, f.line_end(), "Grou", kGroupVersion, id, parent,
                        axes_body(f.encoding_, axes, f.line_end()));
  });
}

CobFile& CobFile::polygon(int32_t id, int32_t parent, const Polygon& polygon) {
  return add([=](const CobFile& f) {
    return encode_chunk(f.encoding_, f.line_end(), "PolH", kPolygonVersion, id, parent,
                        polygon_body(f.encoding_, polygon, f.line_end()));
  });
}

CobFile& CobFile::material(int32_t id, int32_t parent, const Material& material) {
  return add([=](const CobFile& f) {
    return encode_chunk(f.encoding_, f.line_end(), "Mat1", kMaterialVersion, id, parent,
                        material_body(f.encoding_, material, f.line_end()));
  });
}

CobFile& CobFile::procedural(int32_t id, int32_t parent, const Procedural& procedural) {
  return add([=](const CobFile& f) {
    return encode_chunk(f.encoding_, f.line_end(), "PrTx", kProceduralVersion, id, parent,
                        procedural_body(f.encoding_, procedural, f.line_end()));
  });
}

CobFile& CobFile::end() {
  return add([](const CobFile& f) { return encode_chunk(f.encoding_, f.line_end(), "END ", kEndVersion, 0, 0, ""); });
}

CobFile& CobFile::raw(std::string bytes) {
  return add([bytes = std::move(bytes)](const CobFile&) { return bytes; });
}

std::string CobFile::bytes() const {
  std::string out = header_ ? *header_ : default_header(encoding_);
  for (const Piece& piece : pieces_) out += piece(*this);
  return out;
}

void CobFile::write(const std::string& path) const {
  const std::string data = bytes();
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(data.data(), static_cast<std::streamsize>(data.size()));
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path);
}

Polygon uv_sphere(const std::string& name, int segments, int rings, float r, bool with_uvs) {
  Polygon p;
  p.axes.name = name;
  const double pi = 3.14159265358979323846;
  auto position = [&](int i, int j) {  // ring i (0: north pole), segment j
    if (i == 0) return 0;
    if (i == rings) return 1 + (rings - 1) * segments;
    return 1 + (i - 1) * segments + j % segments;
  };
  for (int i = 0; i <= rings; ++i)
    for (int j = 0; j < ((i == 0 || i == rings) ? 1 : segments); ++j) {
      const double t = i * pi / rings, f = j * 2 * pi / segments;
      p.vertices.push_back({float(r * std::sin(t) * std::cos(f)), float(r * std::sin(t) * std::sin(f)),
                            float(r * std::cos(t))});
    }
  if (with_uvs)
    for (int i = 0; i <= rings; ++i)
      for (int j = 0; j <= segments; ++j) p.uvs.push_back({float(j) / segments, 1 - float(i) / rings});
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < segments; ++j) {
      // Corners as (ring, segment); the poles' triangles leave out one.
      std::vector<std::pair<int, int>> c = {{i, j}, {i + 1, j}, {i + 1, j + 1}, {i, j + 1}};
      if (i == 0) c.erase(c.begin());
      else if (i == rings - 1) c.erase(c.begin() + 1);
      Face face;
      for (auto [ci, cj] : c)
        face.corners.push_back({position(ci, cj), with_uvs ? ci * (segments + 1) + cj : 0});
      // Stored clockwise from outside: Newell's normal points inwards.
      double n[3] = {0, 0, 0}, centre[3] = {0, 0, 0};
      for (size_t k = 0; k < face.corners.size(); ++k) {
        const Vec3 a = p.vertices[face.corners[k].vertex];
        const Vec3 b = p.vertices[face.corners[(k + 1) % face.corners.size()].vertex];
        n[0] += (a.y - b.y) * (a.z + b.z);
        n[1] += (a.z - b.z) * (a.x + b.x);
        n[2] += (a.x - b.x) * (a.y + b.y);
        centre[0] += a.x;
        centre[1] += a.y;
        centre[2] += a.z;
      }
      if (n[0] * centre[0] + n[1] * centre[1] + n[2] * centre[2] > 0)
        std::reverse(face.corners.begin(), face.corners.end());
      p.faces.push_back(face);
    }
  return p;
}

}  // namespace cobtest
