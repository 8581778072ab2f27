// The host's scene classes: what an import plug-in builds and hands over.
//
// A scene owns everything appended to its lists. Objects are created with new
// (host allocator, see memory.h) and appended; from then on the scene frees
// them when it is deleted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vertexa/api.h"
#include "vertexa/geometry.h"
#include "vertexa/list.h"
#include "vertexa/memory.h"

// A list of polygons stored flat: polygon i has Count(i) indices starting at
// Indices(i), and a material id.
class VX_API MPolygonList {
public:
    bool Add(const MIPolygon& p);
    // Appends `polygons` polygons at once: polygon k has counts[k] indices,
    // the next ones of `indices`, and the material id mat_ids[k]. The same as
    // an Add of each in turn; returns how many got in.
    uint32_t AddMany(const int32_t* indices, const uint32_t* counts, const int32_t* mat_ids, uint32_t polygons);
    // Room for `polygons` more polygons of up to four indices without
    // growing; only a hint.
    void Reserve(uint32_t polygons);
    uint32_t Size() const { return static_cast<uint32_t>(mat_.size()); }
    uint32_t Count(uint32_t i) const { return start_[i + 1] - start_[i]; }
    const int32_t* Indices(uint32_t i) const { return index_.data() + start_[i]; }
    int32_t MatId(uint32_t i) const { return mat_[i]; }
    uint64_t Bytes() const;

private:
    bool AddOne(const int32_t* indices, uint32_t n, int32_t mat_id);

    std::vector<uint32_t> start_{0};
    std::vector<int32_t> index_;
    std::vector<int32_t> mat_;
};

// Any object of the scene: a name and a local matrix.
class VX_API MObj3d : public vertexa::HostObject {
public:
    explicit MObj3d(const char* name);
    virtual ~MObj3d();
    const char* get_name() const { return name_.c_str(); }
    virtual void Set_LocalMatrix(MMatrix m) { local_ = m; }
    const MMatrix& Get_LocalMatrix() const { return local_; }

private:
    std::string name_;
    MMatrix local_{1};
};

// A polygon mesh: vertices, texture vertices, polygons, texture polygons and
// the material references that name the surface of each material index.
class VX_API MMesh_P : public MObj3d {
public:
    explicit MMesh_P(const char* name);
    ~MMesh_P() override;

    // Vertices and texture vertices get the indices 0, 1, 2, ... in the order
    // added; the result is that index, or -1 when memory ran out. The weight
    // is not kept (a negative weight means "none", the only kind readers give).
    int Add_Vertex(const MVector3& v, double weight);
    int Add_UVVertex(const MVector3& uv, double weight);
    // Marks the mesh as textured: texture polygons are only taken after this.
    void UseUV() { uv_used_ = 1; }
    int UVUsed() const { return uv_used_; }
    // Copies the polygon; returns its index, or -1 (not textured, or out of memory).
    int Add_Face(const MIPolygon& p);
    int Add_UVFace(const MIPolygon& p);
    // Bulk forms for readers of long lists, the same as one call per element
    // in order: n vertices or texture vertices; `polygons` polygons of which
    // polygon k has counts[k] indices, the next ones of `indices`, and the
    // material id mat_ids[k] (texture polygons only once the mesh is
    // textured). Each returns how many elements got in.
    uint32_t Add_Vertices(const MVector3* v, uint32_t n);
    uint32_t Add_UVVertices(const MVector3* uv, uint32_t n);
    uint32_t Add_Faces(const int32_t* indices, const uint32_t* counts, const int32_t* mat_ids, uint32_t polygons);
    uint32_t Add_UVFaces(const int32_t* indices, const uint32_t* counts, const int32_t* mat_ids, uint32_t polygons);

    int Get_Vertex_Count() const { return static_cast<int>(vertices_.size()); }
    int Get_UVVertex_Count() const { return static_cast<int>(uv_vertices_.size()); }
    int Get_Face_Count() const { return static_cast<int>(faces_.Size()); }
    int Get_UVFace_Count() const { return static_cast<int>(uv_faces_.Size()); }

    // Capacity hints for readers that know how many elements follow: the
    // lists get room for that many vertices, texture vertices and polygons
    // (texture polygons too once the mesh is textured).
    void Reserve(uint32_t vertices, uint32_t uv_vertices, uint32_t faces);

    const std::vector<MVector3>& Vertices() const { return vertices_; }
    const std::vector<MVector3>& UVVertices() const { return uv_vertices_; }
    const MPolygonList& Faces() const { return faces_; }
    const MPolygonList& UVFaces() const { return uv_faces_; }
    // Bytes of vertex, texture vertex and polygon data held.
    uint64_t DataBytes() const;

    // Texts made with my_strdup; entry j names the surface of material index
    // j - material_ref_base. Readers set the base to 0 after construction.
    MList material_refs;
    int32_t material_ref_base = 0;

private:
    std::vector<MVector3> vertices_;
    std::vector<MVector3> uv_vertices_;
    MPolygonList faces_;
    MPolygonList uv_faces_;
    int uv_used_ = 0;
};

class VX_API MCamera : public MObj3d {
public:
    explicit MCamera(const char* name) : MObj3d(name) {}
    MVector3 position;
    MVector3 target;
    MVector3 up{0.0, 0.0, 1.0};
    double fov_y_degrees = 45.0;
    // Set to 1 by the importer on the scene's first camera: the camera to view
    // the scene through.
    int camera_flag = 0;
};

class VX_API MLight : public MObj3d {
public:
    explicit MLight(const char* name) : MObj3d(name) {}
    MVector3 direction{0.0, 0.0, -1.0};  // the way the light travels
    MVector3 color{1.0, 1.0, 1.0};
    double intensity = 1.0;
};

struct VX_API MSrf_Color {
    double r = 1.0, g = 1.0, b = 1.0, a = 1.0;
    void Init(double red, double green, double blue, double fourth) {
        r = red; g = green; b = blue; a = fourth;
    }
};

// A channel of a texture layer: whether the layer's image feeds it, and how strongly.
struct VX_API MSrf_Channel {
    int on = 0;
    double strength = 0.0;
};

// The image of a texture layer and how it is tiled.
struct VX_API MSrf_ImageMap {
    int enabled = 0;       // 1: the image is used
    int projection = 0;    // 0: the mesh's texture coordinates
    char name[1024] = {};  // the image file name as the file gives it
    int wrap_u = 0;        // 1: repeat along u
    int wrap_v = 0;        // 1: repeat along v
    MVector3 scale{1.0, 1.0, 1.0};   // repeats u, repeats v, 1
    MVector3 offset{0.0, 0.0, 0.0};  // offset u, offset v, 0
};

class VX_API MSrf_TextureLayer : public vertexa::HostObject {
public:
    MSrf_TextureLayer() = default;
    int layer_on = 0;
    MSrf_ImageMap image;
    MSrf_Channel color_channel;
    MSrf_Channel bump_channel;
};

// The texture layers of a surface, in the order added; owns them.
class VX_API MSrf_TextureLayers {
public:
    MSrf_TextureLayers() = default;
    ~MSrf_TextureLayers();
    MSrf_TextureLayers(const MSrf_TextureLayers&) = delete;
    MSrf_TextureLayers& operator=(const MSrf_TextureLayers&) = delete;
    // Takes ownership; returns false (and frees nothing) when memory ran out.
    bool Add(MSrf_TextureLayer* layer);
    uint32_t Count() const { return layers_.count; }
    MSrf_TextureLayer* Get(uint32_t i) const;

private:
    MList layers_;
};

class VX_API MSurface : public vertexa::HostObject {
public:
    explicit MSurface(const char* name);
    ~MSurface();
    const char* get_name() const { return name_.c_str(); }
    MSrf_Color color;
    double alpha = 1.0;
    MSrf_TextureLayers texture_layers;

private:
    std::string name_;
};

// The scene's image maps and the folders they are looked for in.
class VX_API MMapList {
public:
    // Adds a search path text; it may hold several folders, each ended by ";"
    // (/maps/;/old/tS/maps/;), unless the whole text names a folder. Folders
    // are paths of this system (on POSIX a backslash is part of a name).
    // Returns the number of folders it added.
    int AddSearchPath(const char* text);
    // Adds an image name unless the list holds it already; returns its index,
    // or -1 for a null or empty name.
    int AddMap(const char* name);

    const std::vector<std::string>& SearchPathTexts() const { return search_texts_; }
    const std::vector<std::string>& Folders() const { return folders_; }
    const std::vector<std::string>& Maps() const { return maps_; }

    // Finds the file of an image name: its last component (after the last / or
    // \) is looked for in each folder in order, exactly first, then ignoring
    // case. Nothing outside the folders is opened, but a symbolic link in a
    // folder is followed. Returns the path, or the
    // empty text when no folder holds it.
    std::string Resolve(const std::string& name) const;

private:
    std::vector<std::string> search_texts_;
    std::vector<std::string> folders_;
    std::vector<std::string> maps_;
};

struct MBoundingBox {
    MVector3 min;
    MVector3 max;
    int empty = 1;
};

class VX_API MScene : public vertexa::HostObject {
public:
    explicit MScene(const char* name);
    ~MScene();
    MScene(const MScene&) = delete;
    MScene& operator=(const MScene&) = delete;

    const char* get_name() const { return name_.c_str(); }
    MList* Get_ObjectList() { return &objects_; }
    MList* Get_CameraList() { return &cameras_; }
    MList* Get_LightList() { return &lights_; }
    MList* Get_SurfaceList() { return &surfaces_; }
    MMapList* Get_MapList() { return &maps_; }
    const MMapList* Get_MapList() const { return &maps_; }

    // The box around every mesh vertex; with 0 in world space (each vertex
    // through its object's local matrix), otherwise in the objects' own spaces.
    void CalculateBoundingBox(int local_space);
    const MBoundingBox& Get_BoundingBox() const { return bbox_; }
    // Appends a camera that looks at the bounding box from the front-right,
    // above it, far enough for the whole box to fit its field of view.
    void MMake_Default_Cam();
    // Appends a white directional light shining down along the camera's view.
    void MMake_Default_Light();

    // The surface that a material index of a mesh names: the first surface
    // whose name equals the mesh's reference for that index, else "DEFAULT"
    // (the first surface named so), else null.
    MSurface* Find_Surface(MMesh_P* mesh, int32_t material_index);

private:
    std::string name_;
    MList objects_;
    MList cameras_;
    MList lights_;
    MList surfaces_;
    MMapList maps_;
    MBoundingBox bbox_;
};
