// tinyobjloader, compiled once for the Windows build.
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
