// Material chunks: one surface each, with colour, alpha and a texture layer
// for each texture and bump map; the maps' image names go to the map list.
#include <cstdio>
#include <cstring>

#include "ascii_formats.h"
#include "ascii_scan.h"
#include "chunk_handlers.h"
#include "field_readers.h"
#include "reader_state.h"
#include "vertexa/scene.h"

namespace {

// Shader and facet words of the ASCII encoding keep at most 255 characters
// (only their first character is used).
constexpr int kWordSize = 256;

}  // namespace

int read_shader_line(FILE* in, char* shader, char* facet, long* consumed) {
    long unused = 0;
    if (consumed == nullptr) consumed = &unused;
    // A failed step ends the line, as a failed directive ends a scan: a
    // misspelt or missing keyword leaves the next line (rgb ...) unread.
    const int got_shader = ascii_scan_counted(in, consumed, ascii_format::kShader, shader);
    if (got_shader != 1) return got_shader;
    ascii_scan_counted(in, consumed, ascii_format::kRestOfWord);
    const int got_facet = ascii_scan_counted(in, consumed, ascii_format::kFacet, facet);
    if (got_facet != 1) return 1;
    ascii_scan_counted(in, consumed, ascii_format::kRestOfWord);
    return 2;
}

MSurface* read_material_head(MScene* /*scene*/, const ChunkHeader& chunk, MList* surfaces) {
    FILE* in = reader_state.in;
    LogFile* log = reader_state.log;
    const bool binary = reader_state.binary != 0;

    uint16_t number = 0;
    if (binary) {
        number = read_word();
    } else {
        int n = 0;
        ascii_scan(in, ascii_format::kMaterialNumber, &n);
        number = static_cast<uint16_t>(n);
    }
    char key[32];
    format_material_key(key, sizeof key, static_cast<uint32_t>(chunk.parent_id), number);
    log->write(2, "  Materials %s created\n", key);

    auto* surface = new MSurface(key);
    if (surface != nullptr && !surfaces->append(surface)) {
        delete surface;
        surface = nullptr;
    }
    if (surface == nullptr) {
        log->write(2, "## out of memory: surface %s not created\n", key);
        return nullptr;
    }

    float rgb[3] = {0.0f, 0.0f, 0.0f};
    float alpha = 0.0f, ka = 0.0f, ks = 0.0f, exponent = 0.0f, ior = 0.0f;
    if (binary) {
        read_byte();  // shader
        read_byte();  // facet
        read_byte();  // auto-facet value
        for (float& c : rgb) c = read_float();
        alpha = read_float();
        ka = read_float();
        ks = read_float();
        exponent = read_float();
        ior = read_float();
    } else {
        char shader[kWordSize] = "";
        char facet[kWordSize] = "";
        read_shader_line(in, shader, facet, nullptr);
        int auto_facet = 0;
        if (facet[0] == 'a') std::sscanf(facet, "auto%d", &auto_facet);
        ascii_scan(in, ascii_format::kRGB, &rgb[0], &rgb[1], &rgb[2]);
        ascii_scan(in, ascii_format::kAlphaLine, &alpha, &ka, &ks, &exponent, &ior);
    }
    surface->color.Init(rgb[0], rgb[1], rgb[2], 0.0);
    surface->alpha = alpha;
    return surface;
}

void add_map_layer(MScene* scene, MSurface* surface, MapKind kind, const char* image, float offset_u, float offset_v,
                   float repeats_u, float repeats_v, float amplitude) {
    auto* layer = new MSrf_TextureLayer;
    if (layer == nullptr) {
        reader_state.log->write(2, "## out of memory: layer for %s not created\n", image);
        return;
    }
    layer->layer_on = 1;
    if (kind == MapKind::Texture) {
        layer->color_channel.on = 1;
        layer->color_channel.strength = 0.71;
    } else {
        layer->bump_channel.on = 1;
        layer->bump_channel.strength = amplitude;
    }
    layer->image.enabled = 1;
    layer->image.projection = 0;
    // The readers deliver at most 1023 characters, which the name buffer holds.
    std::strncpy(layer->image.name, image, sizeof layer->image.name - 1);
    layer->image.name[sizeof layer->image.name - 1] = '\0';
    layer->image.wrap_u = 1;
    layer->image.wrap_v = 1;
    layer->image.scale.Init(repeats_u, repeats_v, 1.0);
    layer->image.offset.Init(offset_u, offset_v, 0.0);
    scene->Get_MapList()->AddMap(layer->image.name);
    if (!surface->texture_layers.Add(layer)) {
        reader_state.log->write(2, "## out of memory: layer for %s not kept\n", image);
        delete layer;
    }
}

void read_map_blocks(MScene* scene, MSurface* surface) {
    FILE* in = reader_state.in;
    LogFile* log = reader_state.log;
    const bool binary = reader_state.binary != 0;
    for (;;) {
        // A sub-block starts inside its chunk; the bytes after the chunk's
        // end belong to the next chunk.
        if (chunk_bytes_left() < 2) return;
        char tag[3] = {0, 0, 0};
        const char* image = "";
        float ou = 0.0f, ov = 0.0f, ru = 0.0f, rv = 0.0f, amp = 0.0f;
        if (binary) {
            tag[0] = read_byte();
            tag[1] = read_byte();
            if (std::strcmp(tag, "t:") != 0 && std::strcmp(tag, "b:") != 0 && std::strcmp(tag, "e:") != 0) {
                std::fseek(in, -2, SEEK_CUR);
                return;
            }
            read_byte();  // flags
            image = read_string();
            if (tag[0] != 'e') {
                ou = read_float();
                ov = read_float();
                ru = read_float();
                rv = read_float();
                if (tag[0] == 'b') amp = read_float();
            }
        } else {
            int length = 0;
            if (ascii_scan(in, ascii_format::kEnvironment, &length) == 1) {
                std::strcpy(tag, "e:");
            } else if (ascii_scan(in, ascii_format::kTexture, &length) == 1) {
                std::strcpy(tag, "t:");
            } else if (ascii_scan(in, ascii_format::kBump, &length) == 1) {
                std::strcpy(tag, "b:");
            } else {
                return;
            }
            image = read_chars(length);
            int env_flags = 0;
            short flags = 0;
            if (tag[0] == 'e') {
                ascii_scan(in, ascii_format::kEnvironmentFlags, &env_flags);
            } else if (tag[0] == 't') {
                ascii_scan(in, ascii_format::kTextureParameters, &ou, &ov, &ru, &rv, &flags);
            } else {
                ascii_scan(in, ascii_format::kBumpParameters, &ou, &ov, &ru, &rv, &amp, &flags);
            }
        }
        log->write(2, "  %s %s parsed\n", tag, image);
        if (tag[0] == 't') add_map_layer(scene, surface, MapKind::Texture, image, ou, ov, ru, rv, 0.0f);
        if (tag[0] == 'b') add_map_layer(scene, surface, MapKind::Bump, image, ou, ov, ru, rv, amp);
    }
}

void parse_material_chunk(MScene* scene, const ChunkHeader& chunk, MList* surfaces) {
    reader_state.log->write(2, "-> Start parsing Materials\n");
    MSurface* surface = read_material_head(scene, chunk, surfaces);
    if (surface == nullptr) return;
    read_map_blocks(scene, surface);
}
