#pragma once

// Model files (Wavefront OBJ, PLY, STL, glTF 2.0) read as triangles, for the
// FILE statement of a MESH block. The Open Asset Import Library reads them
// where the build has it; elsewhere (the WebAssembly build) every model file
// is refused.

#include <cstddef>
#include <functional>
#include <string>

// Numbers of one model triangle, in the order a VERTEX_LIST gives them: for
// each corner its position, its normal and its texture coordinates u and v.
constexpr int ModelTriangleNumbers = 24;

// The bytes of memory each triangle of a model may take while the model is
// read and traced: the file's own data as the library holds it, the
// triangle, its place in the search hierarchy. The triangles of all models
// of a parse together are bounded by the machine's memory over this.
constexpr long long ModelTriangleBytes = 512;

// The triangles all models of one parse may bring: one per ModelTriangleBytes
// of the machine's physical memory.
long long model_triangle_limit();
// The largest model file read, in bytes: an eighth of the machine's memory
// (the library holds the whole file, and more, while it reads it).
long long model_file_byte_limit();
// False where this build reads no model files.
bool model_files_supported();

enum class ModelStatus {
    Loaded,
    // More triangles than `max_triangles`; nothing was handed on.
    TooManyTriangles,
    // Any other refusal; the reason says why.
    Refused,
};

struct ModelResult {
    ModelStatus status = ModelStatus::Refused;
    // Why the file was refused, one line: "not a model file: ...".
    std::string reason;
    // The triangles handed on, or, when there were too many, how many the
    // file holds as far as was counted before refusing it.
    long long triangles = 0;
};

// Called once for each triangle, in the file's order, with its 24 numbers in
// the model's own space.
using ModelTriangleSink = std::function<void(const float* numbers)>;

// One part of a model as it was read: corners (each with its 8 numbers as a
// VERTEX_LIST gives them, in the model's own space) that its triangles share.
// A part without normals of its own has three corners for each triangle,
// each with the face's own normal.
class ModelPart {
  public:
    virtual ~ModelPart() = default;
    virtual size_t corners() const = 0;
    virtual size_t triangles() const = 0;
    // The 8 numbers of each of the corners [from, to), in order.
    virtual void eachCornerIn(size_t from, size_t to,
                              const std::function<void(const float* numbers)>& take) const = 0;
    // The three corner numbers (within the part) of each of the triangles
    // [from, to), in order. Stretches may be taken on threads of their own.
    virtual void eachTriangleIn(size_t from, size_t to,
                                const std::function<void(const unsigned* corners)>& take) const = 0;
    void eachCorner(const std::function<void(const float* numbers)>& take) const {
        eachCornerIn(0, corners(), take);
    }
    void eachTriangle(const std::function<void(const unsigned* corners)>& take) const {
        eachTriangleIn(0, triangles(), take);
    }
};

// Takes a sound model part by part: first the numbers of corners and
// triangles of all parts together, then each part in the model's order.
class ModelPartSink {
  public:
    virtual ~ModelPartSink() = default;
    virtual void reserve(size_t corners, size_t triangles) = 0;
    virtual void part(const ModelPart& part) = 0;
};

// Reads the model file at `path` (a regular file of at most
// model_file_byte_limit() bytes whose name ends in .obj, .ply, .stl, .gltf or
// .glb, in any letter case). Every polygon is cut into triangles; the
// placement of each part of the model is applied. A corner takes the file's
// normal and texture coordinates when it has them, else the face's own
// normal and coordinates 0. Nothing is handed on unless the whole model is
// sound: at most `max_triangles` triangles, at least one, every number
// finite.
ModelResult read_model_file(const std::string& path, long long max_triangles,
                            const ModelTriangleSink& sink);

// The same, part by part: triangle t of a part is the triangle the call
// above hands on with the numbers of its three corners.
ModelResult read_model_parts(const std::string& path, long long max_triangles, ModelPartSink& sink);

// The same for a file's bytes in memory, read as the format `extension`
// ("obj", "ply", "stl", "gltf", "glb") names; files the model names beside it
// are not found.
ModelResult read_model_bytes(const void* bytes, std::size_t size, const std::string& extension,
                             long long max_triangles, const ModelTriangleSink& sink);
