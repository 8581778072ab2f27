// Checks the binary framing the test writer produces byte for byte against
// the file format, independently of the reader. The ASCII framing and the
// chunk bodies are exercised by every reader test (the encodings test gives
// both encodings of one description the same scene).
#include "cob_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

}  // namespace
