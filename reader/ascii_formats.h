// The grammar of the ASCII encoding: every scanf format the reader reads a
// field with, in one place. The reader reads them with ascii_scan; the test
// of the scanner reads each of them with both ascii_scan and the C library's
// fscanf and compares the results.
#pragma once

namespace ascii_format {

// Chunk header line (type, major, minor, id, parent, data size).
inline constexpr char kChunkHeader[] = "%4c V%d.%d Id %d Parent %d Size %d";

// Object block: white space before the name line, axes, position.
inline constexpr char kSkipSpace[] = "\n";
inline constexpr char kCenter[] = "\ncenter %g %g %g";
inline constexpr char kXAxis[] = "\nx axis %g %g %g";
inline constexpr char kYAxis[] = "\ny axis %g %g %g";
inline constexpr char kZAxis[] = "\nz axis %g %g %g";
inline constexpr char kTransform[] = "\nTransform";
inline constexpr char kTransformLine[] = "\n%g %g %g %g";

// Polygon object.
inline constexpr char kVertexCount[] = "\nWorld Vertices %ld";
inline constexpr char kVertex[] = "\n%f %f %f";
inline constexpr char kUVCount[] = "\nTexture Vertices %ld";
inline constexpr char kUV[] = "\n%f %f";
inline constexpr char kSkipTwoWords[] = "\n%*s %*s";
inline constexpr char kFaceCount[] = "\nFaces %ld";
inline constexpr char kHole[] = "\nHole verts %hd";
inline constexpr char kFace[] = "\nFace verts %hd flags %hd mat %hd";
inline constexpr char kPair[] = "<%ld,%ld> ";

// Material head. The shader and facet line is the one format kShaderLine;
// read_shader_line takes it in the steps below, so that a word keeps at most
// 255 characters and the rest of a longer word is dropped, and stops at the
// first step that fails, where kShaderLine's scan ends too.
inline constexpr char kMaterialNumber[] = "\nmat# %d";
inline constexpr char kShaderLine[] = "\nshader: %s  facet: %s";
inline constexpr char kShader[] = "\nshader: %255s";
inline constexpr char kFacet[] = "  facet: %255s";
inline constexpr char kRestOfWord[] = "%*[^ \t\n\v\f\r]";  // what %s would still take
inline constexpr char kRGB[] = "\nrgb %g,%g,%g";
inline constexpr char kAlphaLine[] = "\nalpha %g  ka %g  ks %g  exp %g  ior %g";

// Map sub-blocks.
inline constexpr char kEnvironment[] = "\nenvironment: %d";
inline constexpr char kTexture[] = "\ntexture: %d";
inline constexpr char kBump[] = "\nbump: %d";
inline constexpr char kEnvironmentFlags[] = "\nflags %d";
inline constexpr char kTextureParameters[] = "\noffset %g,%g  repeats %g,%g  flags %hd";
inline constexpr char kBumpParameters[] = "\noffset %g,%g  repeats %g,%g  amp %g  flags %hd";

}  // namespace ascii_format
