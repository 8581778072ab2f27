// The handlers of the four chunk types the reader takes in. Each runs with the
// stream at the first byte of its chunk's data and may stop anywhere: the
// chunk loop seeks to the chunk's end afterwards.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "chunk_stream.h"
#include "vertexa/geometry.h"

class MScene;
class MSurface;
class MMesh_P;
struct MList;

// The block that opens group and polygon chunks.
struct ObjectAxes {
    const char* name = "";  // in a reader buffer: valid until the next name is read
    MVector3 center{0.0, 0.0, 0.0};
    MVector3 x_axis{0.0, 0.0, 0.0};
    MVector3 y_axis{0.0, 0.0, 0.0};
    MVector3 z_axis{0.0, 0.0, 0.0};
    MMatrix cur_pos{1};
};

void read_object_axes(ObjectAxes& axes);

void parse_group_chunk(MScene* scene, const ChunkHeader& chunk);

void parse_polygon_chunk(MScene* scene, const ChunkHeader& chunk, MList* objects);
void read_vertices(MMesh_P* mesh);
void read_texture_vertices(MMesh_P* mesh);
// Binary texture coordinates: 0 for magnitudes above 1e6 or below 1e-6
// (compared as doubles), NaN unchanged. Inline: it runs twice per texture vertex.
inline float clamp_uv(float x) {
    const double a = std::fabs(static_cast<double>(x));
    if (a > 1000000.0) return 0.0f;
    if (a < 0.000001) return 0.0f;
    return x;
}
// Returns the highest material index of the faces, -1 when there were none.
int read_faces(MMesh_P* mesh);
void add_material_references(MMesh_P* mesh, const ChunkHeader& chunk, int highest_material);

void parse_material_chunk(MScene* scene, const ChunkHeader& chunk, MList* surfaces);
void parse_procedural_material_chunk(MScene* scene, const ChunkHeader& chunk, MList* surfaces);
// Reads the material head and returns its new surface, already in the
// scene's surface list (null when it could not be made).
MSurface* read_material_head(MScene* scene, const ChunkHeader& chunk, MList* surfaces);
void read_map_blocks(MScene* scene, MSurface* surface);
// The ASCII shader and facet line: reads what fscanf with
// "\nshader: %s  facet: %s" reads, to the character, and returns what it
// returns, but keeps at most 255 characters of each word (shader and facet
// hold 256 bytes). Adds the characters consumed to *consumed when not null.
int read_shader_line(FILE* in, char* shader, char* facet, long* consumed);

enum class MapKind { Texture, Bump };
void add_map_layer(MScene* scene, MSurface* surface, MapKind kind, const char* image, float offset_u, float offset_v,
                   float repeats_u, float repeats_v, float amplitude);

// The name that ties a polygon object's material index to its surface.
void format_material_key(char* out, int size, uint32_t owner_id, unsigned material_number);
