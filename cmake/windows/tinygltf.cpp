// tinygltf, compiled once for the Windows build; images go through stb.
#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_INCLUDE_STB_IMAGE
#define TINYGLTF_NO_INCLUDE_STB_IMAGE_WRITE
#include <stb_image.h>
#include <stb_image_write.h>
#include <tiny_gltf.h>
