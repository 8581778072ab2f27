#include "cob_writer.h"

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace cobtest {
namespace {

// Little-endian fields.
void put(std::string& out, uint32_t v, int bytes = 4) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<char>(v >> 8 * k));
}
void put_floats(std::string& out, std::initializer_list<float> values) {
  for (float v : values) put(out, std::bit_cast<uint32_t>(v));
}
// A text with a 16-bit length before it.
void put_counted(std::string& out, const std::string& text, std::optional<uint16_t> length) {
  put(out, length.value_or(static_cast<uint16_t>(text.size())), 2);
  out += text;
}
std::string ascii_float(float value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(value));
  return buf;
}
std::string ascii_floats(std::initializer_list<float> values, const char* between = " ") {
  std::string out;
  for (float v : values) out += (out.empty() ? "" : between) + ascii_float(v);
  return out;
}
std::string ascii_vec(const Vec3& v) { return ascii_floats({v.x, v.y, v.z}); }
template <typename T>
uint32_t count(const std::optional<uint32_t>& declared, const std::vector<T>& items) {
  return declared.value_or(static_cast<uint32_t>(items.size()));
}
uint16_t corner_count(const Face& face) { return face.corner_count.value_or(static_cast<uint16_t>(face.corners.size())); }

std::string axes_body(Encoding e, const Axes& a, const std::string& eol) {
  std::string out;
  if (e == Encoding::Binary) {
    put(out, a.duplicate, 2);
    put_counted(out, a.name, a.name_length);
    for (const Vec3& v : {a.center, a.x_axis, a.y_axis, a.z_axis}) put_floats(out, {v.x, v.y, v.z});
    for (int k = 0; k < 3; ++k) put_floats(out, {a.transform[k][0], a.transform[k][1], a.transform[k][2], a.transform[k][3]});
    return out;
  }
  out = a.ascii_first_word + " " + a.name + eol + "center " + ascii_vec(a.center) + eol + "x axis " + ascii_vec(a.x_axis) +
        eol + "y axis " + ascii_vec(a.y_axis) + eol + "z axis " + ascii_vec(a.z_axis) + eol + "Transform" + eol;
  for (const auto& row : a.transform) out += ascii_floats({row[0], row[1], row[2], row[3]}) + eol;
  return out;
}

std::string material_head(Encoding e, const Material& m, const std::string& eol) {
  std::string out;
  if (e == Encoding::Binary) {
    put(out, m.number, 2);
    out += "pf";  // shader and facet bytes, then the auto-facet angle
    put(out, 0, 1);
    put_floats(out, {m.red, m.green, m.blue, m.alpha, m.ka, m.ks, m.exp, m.ior});
    return out;
  }
  return "mat# " + std::to_string(m.number) + eol + "shader: " + m.ascii_shader + "  facet: " + m.ascii_facet + eol +
         "rgb " + ascii_floats({m.red, m.green, m.blue}, ",") + eol + "alpha " + ascii_float(m.alpha) + "  ka " +
         ascii_float(m.ka) + "  ks " + ascii_float(m.ks) + "  exp " + ascii_float(m.exp) + "  ior " + ascii_float(m.ior) + eol;
}

std::string map_block(Encoding e, const MapBlock& map, const std::string& eol) {
  const int kind = static_cast<int>(map.kind);  // Environment, Texture, Bump
  std::string out;
  if (e == Encoding::Binary) {
    out += "etb"[kind];
    out += ':';
    put(out, map.flags, 1);
    put_counted(out, map.image, map.binary_length);
    if (map.kind != MapKind::Environment) put_floats(out, {map.offset_u, map.offset_v, map.repeats_u, map.repeats_v});
    if (map.kind == MapKind::Bump) put_floats(out, {map.amplitude});
    return out;
  }
  const char* keyword[] = {"environment: ", "texture: ", "bump: "};
  out = keyword[kind] + std::to_string(map.ascii_length.value_or(static_cast<int>(map.image.size()))) + map.image + eol;
  const std::string flags = "flags " + std::to_string(map.flags) + eol;
  if (map.kind == MapKind::Environment) return out + flags;
  out += "offset " + ascii_floats({map.offset_u, map.offset_v}, ",") + "  repeats " +
         ascii_floats({map.repeats_u, map.repeats_v}, ",");
  if (map.kind == MapKind::Bump) out += "  amp " + ascii_float(map.amplitude);
  return out + "  " + flags;
}

// One whole chunk; without a declared size the exact one (in ASCII counting
// the header's line end and the body).
std::string encode_chunk(Encoding e, const std::string& eol, const std::string& type4, uint16_t major, uint16_t minor,
                         int32_t id, int32_t parent, const std::string& body, std::optional<int64_t> declared = {}) {
  if (e == Encoding::Binary)
    return binary_chunk_header(type4, major, minor, id, parent,
                               static_cast<uint32_t>(declared.value_or(static_cast<int64_t>(body.size())))) + body;
  const int64_t size = declared.value_or(static_cast<int64_t>(eol.size() + body.size()));
  return ascii_chunk_header(type4, major, minor, id, parent, size) + eol + body;
}

}  // namespace

std::string binary_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id, int32_t parent,
                                uint32_t data_size) {
  type4.resize(4, ' ');
  std::string out = type4;
  for (uint16_t v : {major, minor}) put(out, v, 2);
  for (int32_t v : {id, parent}) put(out, static_cast<uint32_t>(v));
  put(out, data_size);
  return out;
}

std::string ascii_chunk_header(std::string type4, uint16_t major, uint16_t minor, int32_t id, int32_t parent,
                               int64_t data_size) {
  char buf[128];
  type4.resize(4, ' ');
  std::snprintf(buf, sizeof buf, "%s V%u.%02u Id %" PRId32 " Parent %" PRId32 " Size %08" PRId64, type4.c_str(),
                static_cast<unsigned>(major), static_cast<unsigned>(minor), id, parent, data_size);
  return buf;
}

std::string polygon_body(Encoding e, const Polygon& p, const std::string& eol) {
  std::string out = axes_body(e, p.axes, eol);
  if (e == Encoding::Binary) {
    put(out, count(p.vertex_count, p.vertices));
    for (const Vec3& v : p.vertices) put_floats(out, {v.x, v.y, v.z});
    put(out, count(p.uv_count, p.uvs));
    for (const auto& [u, v] : p.uvs) put_floats(out, {u, v});
    put(out, count(p.face_count, p.faces));
    for (const Face& f : p.faces) {
      put(out, f.hole ? f.flags | 0x08u : f.flags, 1);
      put(out, corner_count(f), 2);
      if (!f.hole) put(out, f.material, 2);
      for (const Corner& c : f.corners) put(out, static_cast<uint32_t>(c.vertex)), put(out, static_cast<uint32_t>(c.uv));
    }
    return out + p.trailing;
  }
  out += "World Vertices " + std::to_string(count(p.vertex_count, p.vertices)) + eol;
  for (const Vec3& v : p.vertices) out += ascii_vec(v) + eol;
  out += "Texture Vertices " + std::to_string(count(p.uv_count, p.uvs)) + eol;
  for (const auto& [u, v] : p.uvs) out += ascii_floats({u, v}) + eol;
  out += "Faces " + std::to_string(count(p.face_count, p.faces)) + eol;
  for (const Face& f : p.faces) {
    out += f.hole ? "Hole verts " + std::to_string(corner_count(f))
                  : "Face verts " + std::to_string(corner_count(f)) + " flags " + std::to_string(f.flags) + " mat " +
                        std::to_string(f.material);
    out += eol;
    for (const Corner& c : f.corners) {
      // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) on a literal
      // in front of a temporary string.
      out += '<';
      out += std::to_string(c.vertex);
      out += ',';
      out += std::to_string(c.uv);
      out += "> ";
    }
    out += eol;
  }
  return out + p.trailing;
}

std::string material_body(Encoding e, const Material& material, const std::string& eol) {
  std::string out = material_head(e, material, eol);
  for (const MapBlock& map : material.maps) out += map_block(e, map, eol);
  return out + material.trailing;
}

CobFile::CobFile(Encoding e) : encoding_(e) { header(e == Encoding::Binary ? "Caligari V00.01BLH" : "Caligari V00.01ALH"); }

CobFile& CobFile::header(std::string first32) {
  if (first32.size() < 32) first32.resize(31, ' '), first32 += '\n';
  first32.resize(32);
  header_ = std::move(first32);
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
  return add([=](Encoding e, const std::string& eol) {
    return encode_chunk(e, eol, type4, major, minor, id, parent, body, declared_data_size);
  });
}

// A chunk of version 0.minor whose body is made when the bytes are asked for.
#define TYPED_CHUNK(type, minor, body) \
  add([=](Encoding e, const std::string& eol) { return encode_chunk(e, eol, type, 0, minor, id, parent, body); })

CobFile& CobFile::group(int32_t id, int32_t parent, const Axes& axes) {
  return TYPED_CHUNK("Grou", 1, axes_body(e, axes, eol));
}
CobFile& CobFile::polygon(int32_t id, int32_t parent, const Polygon& polygon) {
  return TYPED_CHUNK("PolH", 8, polygon_body(e, polygon, eol));
}
CobFile& CobFile::material(int32_t id, int32_t parent, const Material& material) {
  return TYPED_CHUNK("Mat1", 8, material_body(e, material, eol));
}
CobFile& CobFile::procedural(int32_t id, int32_t parent, const Procedural& procedural) {
  return TYPED_CHUNK("PrTx", 8, material_head(e, procedural.head, eol) + procedural.parameters);
}
CobFile& CobFile::end() { return chunk("END ", 0, 0, "", {}, 1, 0); }

CobFile& CobFile::raw(std::string bytes) {
  return add([bytes = std::move(bytes)](Encoding, const std::string&) { return bytes; });
}

std::string CobFile::bytes() const {
  std::string out = header_;
  for (const Piece& piece : pieces_) out += piece(encoding_, crlf_ ? "\r\n" : "\n");
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
    return i == 0 ? 0 : i == rings ? 1 + (rings - 1) * segments : 1 + (i - 1) * segments + j % segments;
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
      // Corners as (ring, segment), clockwise from outside; the poles'
      // triangles leave out one.
      std::vector<std::pair<int, int>> c = {{i, j + 1}, {i + 1, j + 1}, {i + 1, j}, {i, j}};
      if (i == 0) c.pop_back();
      else if (i == rings - 1) c.erase(c.begin() + 2);
      Face face;
      for (auto [ci, cj] : c) face.corners.push_back({position(ci, cj), with_uvs ? ci * (segments + 1) + cj : 0});
      p.faces.push_back(face);
    }
  return p;
}

}  // namespace cobtest
