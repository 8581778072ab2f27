// The glTF and OBJ writers: they turn built meshes into the bytes of the
// output files.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "geometry.h"
#include "output.h"

class MSurface;
class MSrf_TextureLayer;

namespace vertexa::convert {

// The layer whose image colours the surface and the one that bumps it: the
// first of each kind that is on and names an image, or null.
const MSrf_TextureLayer* color_layer(const MSurface& surface);
const MSrf_TextureLayer* bump_layer(const MSurface& surface);

// glTF 2.0: binary (one .glb with the buffer and images inside) or JSON
// (out, plus <stem>.bin and the images beside it, referred to by relative
// URI). Adds the files to `files`; the meshes' arrays are used up.
void write_gltf(std::vector<MeshOut>& meshes, ImageCache& images, const std::string& out, bool binary,
                OutputFiles& files, std::ostream& err);

// OBJ with an MTL of the same stem and the images beside it.
void write_obj(std::vector<MeshOut>& meshes, ImageCache& images, const std::string& out, OutputFiles& files,
               std::ostream& err);

}  // namespace vertexa::convert
