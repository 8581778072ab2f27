// Large trueSpace files for the import benchmark, made with the writer of the
// test suite so that they are what the reader is tested against.
//
// Two shapes:
// - one polygon object: a torus of rings x segments vertices, as many texture
//   vertices and as many quads (the grid wraps both ways), whose faces use
//   four materials in bands; four material chunks follow, one of them with a
//   texture map and one with a bump map;
// - a scene of many small objects: boxes of 8 vertices, 8 texture vertices
//   and 6 quads, each with a material chunk, every tenth under a group.
#pragma once

#include <cstdint>
#include <string>

#include "cob_writer.h"

namespace bench {

struct TorusShape {
    uint32_t rings = 1000;
    uint32_t segments = 1000;
    uint32_t vertices() const { return rings * segments; }
};

// What a file holds, for checking an import outside the timed loop.
struct Expected {
    uint64_t objects = 0;
    uint64_t vertices = 0;      // summed over the objects
    uint64_t uv_vertices = 0;
    uint64_t faces = 0;
    uint64_t surfaces = 0;      // the scene's surface list, "DEFAULT" included
    uint64_t elements() const { return vertices + uv_vertices + faces; }
};

cobtest::CobFile torus_file(cobtest::Encoding encoding, const TorusShape& shape);
Expected torus_expected(const TorusShape& shape);

cobtest::CobFile boxes_file(cobtest::Encoding encoding, uint32_t objects);
Expected boxes_expected(uint32_t objects);

}  // namespace bench
