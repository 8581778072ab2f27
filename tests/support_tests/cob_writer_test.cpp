// Checks the framing the test writer produces against the file format: the
// binary file header and chunk headers byte for byte, the ASCII ones by
// reading them back with the reader's scanf format and walking the declared
// sizes from chunk to chunk. The chunk bodies are exercised by every reader
// test.
#include "cob_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace cobtest;

std::string to_hex(const std::string& bytes) {
  std::string out(2 * bytes.size() + 1, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) std::snprintf(&out[2 * i], 3, "%02X", static_cast<unsigned char>(bytes[i]));
  out.pop_back();
  return out;
}

TEST(BinaryFraming, HeaderAndChunkHeadersMatchHandEncodedBytes) {
  const std::string file =
      CobFile(Encoding::Binary).chunk("Unit", 5, 18, "ab").chunk("Ab", 2, 1, "abc", 1000).end().bytes();
  ASSERT_EQ(file.substr(0, 32), "Caligari V00.01BLH             \n");
  EXPECT_EQ(to_hex(file.substr(32)),
            "556E6974" "0000" "0100" "05000000" "12000000" "02000000" "6162"  // Unit V0.01, id 5, parent 18, size 2
            "41622020" "0000" "0100" "02000000" "01000000" "E8030000" "616263"  // "Ab" padded, declared size 1000
            "454E4420" "0100" "0000" "00000000" "00000000" "00000000");       // END V1.00, empty
  EXPECT_EQ(CobFile(Encoding::Binary).header(std::string(40, 'q')).bytes(), std::string(32, 'q'));
}

struct AsciiHeader {
  char type[5] = {};
  int major = -1, minor = -1, id = -1, parent = -1, size = -1;
  size_t after_size = 0;  // just after the last digit of the size
};

AsciiHeader read_ascii_header(const std::string& file, size_t pos) {
  AsciiHeader h;
  int used = -1;
  EXPECT_EQ(std::sscanf(file.c_str() + pos, "%4c V%d.%d Id %d Parent %d Size %d%n", h.type, &h.major, &h.minor,
                        &h.id, &h.parent, &h.size, &used), 6) << "no chunk header at " << pos;
  h.after_size = pos + static_cast<size_t>(used);
  return h;
}

TEST(AsciiFraming, HeadersReadBackAndDeclaredSizesLeadToTheNextChunk) {
  EXPECT_EQ(ascii_chunk_header("PolH", 0, 8, 7, 3, 120), "PolH V0.08 Id 7 Parent 3 Size 00000120");

  Polygon p;
  p.axes.name = "Cube 2";
  p.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  p.uvs = {{0, 0}};
  p.faces = {{.hole = true, .corners = {{0, 0}, {1, 0}, {2, 0}}}, {.material = 2, .corners = {{0, 0}, {1, 0}, {2, 0}}}};
  Material m;
  m.maps = {{.kind = MapKind::Texture, .image = "C:\\maps\\my wood.JPG"}, {.kind = MapKind::Bump, .image = " a.bmp"}};
  for (bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CRLF" : "LF");
    CobFile writer(Encoding::Ascii);
    Axes group;
    group.name = "Group";
    writer.group(1, 0, group).polygon(7, 1, p).chunk("Unit", 9, 7, "Units 1\n").material(8, 7, m);
    writer.procedural(10, 7, Procedural{m, "tx: 1\n"}).end();
    writer.crlf(crlf);  // set after the chunks: must still reach all of them
    const std::string file = writer.bytes();
    ASSERT_EQ(file.substr(0, 32), "Caligari V00.01ALH             \n");
    std::vector<std::string> types;
    std::vector<int> ids;
    size_t pos = 32, bare_line_ends = 0;
    while (pos < file.size()) {
      const AsciiHeader c = read_ascii_header(file, pos);
      ASSERT_GT(c.size, 0);
      const size_t next = c.after_size + static_cast<size_t>(c.size);
      ASSERT_LE(next, file.size());
      EXPECT_EQ(file[next - 1], '\n') << "chunk " << c.type << " does not end with a line end";
      types.push_back(c.type);
      ids.push_back(c.id);
      pos = next;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"Grou", "PolH", "Unit", "Mat1", "PrTx", "END "}));
    EXPECT_EQ(ids, (std::vector<int>{1, 7, 9, 8, 10, 0}));
    for (size_t i = 32; i < file.size(); ++i) bare_line_ends += file[i] == '\n' && file[i - 1] != '\r';
    // With CRLF only the two raw texts (the Unit body, the parameters) keep bare line ends.
    if (crlf) EXPECT_EQ(bare_line_ends, 2u);
    else EXPECT_GT(bare_line_ends, 20u);
  }
}

}  // namespace
