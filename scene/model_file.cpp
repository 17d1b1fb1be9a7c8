#include "scene/model_file.h"

#include "scene/ply_check.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#ifdef GLIMMARK_MODEL_FILES
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include "core/huge_pages.h"

#include <assimp/BaseImporter.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <assimp/Importer.hpp>
#include <set>
#endif

namespace {

// When the machine does not say how much memory it has.
constexpr long long AssumedMemoryBytes = 1LL << 32;

long long physical_memory() {
#if defined(__unix__) || defined(__APPLE__)
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page_size > 0) return static_cast<long long>(pages) * page_size;
#endif
    return AssumedMemoryBytes;
}

ModelResult refused(std::string reason) {
    ModelResult result;
    result.status = ModelStatus::Refused;
    result.reason = std::move(reason);
    return result;
}

ModelResult too_many(long long triangles) {
    ModelResult result;
    result.status = ModelStatus::TooManyTriangles;
    result.triangles = triangles;
    return result;
}

// The extension of a file name in lower case, without its dot.
std::string extension_of(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool is_model_extension(const std::string& ext) {
    return ext == "obj" || ext == "ply" || ext == "stl" || ext == "gltf" || ext == "glb";
}

// The most of a file's head looked at before the library reads it.
constexpr size_t MaxHeadBytes = 65536;

// A file's bytes mapped for reading; none where it cannot be mapped.
class MappedFile {
  public:
    MappedFile(const std::string& path, size_t size) {
#if defined(__unix__) || defined(__APPLE__)
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || size == 0) return;
        void* data = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        close(fd);
        if (data != MAP_FAILED) bytes_ = std::string_view(static_cast<const char*>(data), size);
#else
        (void)path;
        (void)size;
#endif
    }
    ~MappedFile() {
#if defined(__unix__) || defined(__APPLE__)
        if (!bytes_.empty()) munmap(const_cast<char*>(bytes_.data()), bytes_.size());
#endif
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    std::string_view bytes() const { return bytes_; }

  private:
    std::string_view bytes_;
};

// Why a PLY file is refused before the library reads it: its header from
// `head`, its lists from the whole file, mapped (text) or read a piece at a
// time (binary).
const char* ply_fault(const std::string& path, std::string_view head, long long size,
                      const PlyReadAt& read_at) {
    std::optional<MappedFile> file;
    const auto whole_file = [&]() -> std::string_view {
        if (static_cast<long long>(head.size()) == size) return head;
        file.emplace(path, static_cast<size_t>(size));
        return file->bytes();
    };
    return ply_file_fault(head, size, whole_file, read_at);
}

constexpr const char* NotAModelName = "the name does not end in .obj, .ply, .stl, .gltf or .glb";

constexpr const char* DamagedGlbHeader = "not a GLB file: its header is damaged";

// Reads `n` bytes at `offset` of a file or of bytes in memory; false past the end.
using ReadAt = std::function<bool(long long offset, char* out, size_t n)>;

ReadAt whole_pieces(const PlyReadAt& read_at) {
    return
        [&read_at](long long offset, char* out, size_t n) { return read_at(offset, out, n) == n; };
}

uint32_t little_endian_word(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

// Whether a binary glTF's header and chunk lengths fit in its `size` bytes:
// the library takes memory for the lengths a header states before it reads.
bool sound_glb_container(const ReadAt& read_at, long long size) {
    char header[20];
    if (!read_at(0, header, sizeof header) || std::memcmp(header, "glTF", 4) != 0) return false;
    const uint32_t version = little_endian_word(header + 4);
    const long long length = little_endian_word(header + 8);
    if (length > size || length < 20) return false;
    const long long first = little_endian_word(header + 12);
    if (version == 1) return first <= length - 20;  // its content, then the body
    if (version != 2 || std::memcmp(header + 16, "JSON", 4) != 0 || first > length - 20)
        return false;
    const long long next = (20 + first + 3) & ~3LL;
    if (next + 8 > length) return true;
    char chunk[8];
    if (!read_at(next, chunk, sizeof chunk)) return false;
    return little_endian_word(chunk) <= length - next - 8;
}

// The triangles a file says it holds at least, from the head of a PLY file
// (its face count) or a binary STL file (whose size matches its count): a
// file that would pass the budget is refused before the library reads it.
// 0 when the head says nothing.
long long declared_triangles(const std::string& ext, std::string_view head, long long file_size) {
    if (ext == "stl" && file_size >= 84 && head.size() >= 84) {
        uint32_t count = 0;
        std::memcpy(&count, head.data() + 80, 4);
        if (84 + 50 * static_cast<long long>(count) == file_size) return count;
    }
    if (ext == "ply") return ply_declared_faces(head);
    return 0;
}

#ifdef GLIMMARK_MODEL_FILES

// One line of at most 200 characters.
std::string one_line(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.size() > 200) text.resize(200);
    return text;
}

// A mesh of the model and where its node places it.
struct Placed {
    const aiMesh* mesh;
    aiMatrix4x4 transform;
    bool identity;
};

bool is_exact_identity(const aiMatrix4x4& m) {
    const aiMatrix4x4 one;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (m[r][c] != one[r][c]) return false;
    return true;
}

bool finite(const aiVector3D& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool finite(const aiMatrix4x4& m) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (!std::isfinite(m[r][c])) return false;
    return true;
}

// Triangles a face makes once cut up: a polygon of n corners makes n - 2;
// points and lines make none.
long long triangles_of(const aiFace& face) {
    return face.mNumIndices >= 3 ? face.mNumIndices - 2 : 0;
}

// Every mesh every node places, in the order of a walk from the root; more
// than `max_triangles` triangles in all (before the polygons are cut) stops
// the walk with `over` set.
std::vector<Placed> placed_meshes(const aiScene& scene, long long max_triangles, long long& total,
                                  bool& over) {
    std::vector<Placed> out;
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> stack;
    total = 0;
    over = false;
    if (scene.mRootNode != nullptr)
        stack.emplace_back(scene.mRootNode, scene.mRootNode->mTransformation);
    std::vector<long long> mesh_triangles(scene.mNumMeshes, -1);
    while (!stack.empty()) {
        const auto [node, transform] = stack.back();
        stack.pop_back();
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            const unsigned index = node->mMeshes[i];
            if (index >= scene.mNumMeshes || scene.mMeshes[index] == nullptr) continue;
            const aiMesh* mesh = scene.mMeshes[index];
            long long& count = mesh_triangles[index];
            if (count < 0) {
                count = 0;
                if (mesh->mFaces != nullptr)
                    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
                        count += triangles_of(mesh->mFaces[f]);
            }
            if (count == 0) continue;
            total += count;
            if (total > max_triangles) {
                over = true;
                return out;
            }
            out.push_back({mesh, transform, is_exact_identity(transform)});
        }
        // Children are walked in their order: pushed last to first.
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            const aiNode* child = node->mChildren[c];
            if (child != nullptr) stack.emplace_back(child, transform * child->mTransformation);
        }
    }
    return out;
}

// Whether every number the mesh's triangles would read is finite and every
// corner it names is there.
bool sound_mesh(const Placed& placed) {
    const aiMesh& mesh = *placed.mesh;
    if (!finite(placed.transform) || mesh.mVertices == nullptr) return false;
    const aiVector3D* uv = mesh.mTextureCoords[0];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v) {
        if (!finite(mesh.mVertices[v])) return false;
        if (mesh.mNormals != nullptr && !finite(mesh.mNormals[v])) return false;
        if (uv != nullptr && !(std::isfinite(uv[v].x) && std::isfinite(uv[v].y))) return false;
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiFace& face = mesh.mFaces[f];
        if (face.mNumIndices != 3) continue;
        for (int k = 0; k < 3; ++k)
            if (face.mIndices[k] >= mesh.mNumVertices) return false;
    }
    return true;
}

// One placed mesh as a model part.
class PlacedPart final : public ModelPart {
  public:
    explicit PlacedPart(const Placed& placed) : placed_(placed), mesh_(*placed.mesh) {
        normal_transform_ = aiMatrix3x3(placed.transform);
        normal_transform_.Inverse().Transpose();
        for (unsigned f = 0; f < mesh_.mNumFaces; ++f)
            triangles_ += mesh_.mFaces[f].mNumIndices == 3 ? 1 : 0;
        // Faces of one or two corners among the triangles: the triangles'
        // faces by number.
        if (triangles_ != mesh_.mNumFaces) {
            triangle_faces_.reserve(triangles_);
            for (unsigned f = 0; f < mesh_.mNumFaces; ++f)
                if (mesh_.mFaces[f].mNumIndices == 3) triangle_faces_.push_back(f);
        }
    }

    size_t corners() const override { return shared() ? mesh_.mNumVertices : 3 * triangles_; }
    size_t triangles() const override { return triangles_; }

    void eachCornerIn(size_t from, size_t to,
                      const std::function<void(const float*)>& take) const override {
        float numbers[8];
        if (shared()) {
            for (size_t i = from; i < to; ++i) {
                corner(static_cast<unsigned>(i), mesh_.mVertices[i], mesh_.mNormals[i], numbers);
                take(numbers);
            }
            return;
        }
        // Without the file's normals, each corner takes the face's own.
        for (size_t t = from / 3; 3 * t < to; ++t) {
            const aiFace& face = mesh_.mFaces[face_of(t)];
            aiVector3D c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = mesh_.mVertices[face.mIndices[k]];
            const aiVector3D flat = (c[1] - c[0]) ^ (c[2] - c[0]);
            for (size_t k = 0; k < 3; ++k) {
                if (3 * t + k < from || 3 * t + k >= to) continue;
                corner(face.mIndices[k], c[k], flat, numbers);
                take(numbers);
            }
        }
    }

    void eachTriangleIn(size_t from, size_t to,
                        const std::function<void(const unsigned*)>& take) const override {
        unsigned corners[3];
        for (size_t t = from; t < to; ++t) {
            const aiFace& face = mesh_.mFaces[face_of(t)];
            for (unsigned k = 0; k < 3; ++k)
                corners[k] = shared() ? face.mIndices[k] : static_cast<unsigned>(3 * t) + k;
            take(corners);
        }
    }

  private:
    bool shared() const { return mesh_.mNormals != nullptr; }
    size_t face_of(size_t triangle) const {
        return triangle_faces_.empty() ? triangle : triangle_faces_[triangle];
    }

    // The numbers of a corner of vertex `i` at `position` with `normal`, placed.
    void corner(unsigned i, aiVector3D position, aiVector3D normal, float* n) const {
        const aiVector3D* uv = mesh_.mTextureCoords[0];
        if (!placed_.identity) {
            position = placed_.transform * position;
            normal = normal_transform_ * normal;
        }
        n[0] = position.x;
        n[1] = position.y;
        n[2] = position.z;
        n[3] = normal.x;
        n[4] = normal.y;
        n[5] = normal.z;
        n[6] = uv != nullptr ? uv[i].x : 0.0f;
        n[7] = uv != nullptr ? uv[i].y : 0.0f;
    }

    const Placed& placed_;
    const aiMesh& mesh_;
    aiMatrix3x3 normal_transform_;
    size_t triangles_ = 0;
    std::vector<unsigned> triangle_faces_;
};

// What the importer read, checked, counted, cut into triangles and handed on.
ModelResult take_scene(Assimp::Importer& importer, const aiScene* scene, long long max_triangles,
                       ModelPartSink& sink) {
    if (scene == nullptr) {
        const std::string why = one_line(importer.GetErrorString());
        return refused(why.empty() ? "not a model the library reads" : why);
    }
    // Counted before the polygons are cut: the cut takes memory of its own.
    long long total = 0;
    bool over = false;
    placed_meshes(*scene, max_triangles, total, over);
    if (over) return too_many(total);
    if (total == 0) return refused("the model has no triangles");
    scene = importer.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_ValidateDataStructure);
    if (scene == nullptr) return refused(one_line(importer.GetErrorString()));
    const std::vector<Placed> placed = placed_meshes(*scene, max_triangles, total, over);
    if (over) return too_many(total);
    if (total == 0) return refused("the model has no triangles");
    for (const Placed& p : placed)
        if (!sound_mesh(p))
            return refused("the model has a coordinate that is not a finite number");
    std::vector<PlacedPart> parts;
    parts.reserve(placed.size());
    size_t corners = 0, triangles = 0;
    for (const Placed& p : placed) {
        parts.emplace_back(p);
        corners += parts.back().corners();
        triangles += parts.back().triangles();
    }
    sink.reserve(corners, triangles);
    for (const PlacedPart& part : parts)
        sink.part(part);
    ModelResult result;
    result.status = ModelStatus::Loaded;
    result.triangles = static_cast<long long>(triangles);
    return result;
}

// What the library's reading of a model takes of the heap, about: for each
// face its indices (a block of 32 bytes with its header) and its record, its
// share of the corners' positions, normals and texture coordinates; without
// a count of faces, twice the file's size.
long long heap_estimate(long long declared_triangles, long long file_size) {
    return declared_triangles > 0 ? 80 * declared_triangles : 2 * file_size;
}

// While a large model is read, the heap the library takes its blocks from
// (a face's three indices each, millions of them) lies in huge pages: in
// 4 KB pages every 4 KB of them is a page fault of its own, which costs more
// than the allocation. The heap is grown at once by about what the reading
// will take, that room is marked, and it is kept until the reading is done;
// what is not used is given back with the rest afterwards (glibc keeps its
// thresholds at their defaults from then on, rather than moving them). Only
// glibc's heap is known well enough for this; elsewhere nothing changes.
class BlocksInHugePages {
  public:
    explicit BlocksInHugePages(long long bytes) {
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 33)
        constexpr long long Least = 64LL << 20;
        if (bytes < Least) return;
        bytes = std::min<long long>(bytes, std::numeric_limits<int>::max() & ~0xFFFFF);
        // The heap grows by a request it has no room for and the pad more;
        // a request larger than all its free room is such a request, and
        // is taken from the heap if it is below the threshold for a mapping
        // of its own.
        const size_t room = mallinfo2().fordblks + (64 << 10);
        if (room >= MappedFrom) return;
        active_ = mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max()) != 0;
        if (!active_) return;
        mallopt(M_MMAP_THRESHOLD, static_cast<int>(MappedFrom));
        mallopt(M_TOP_PAD, static_cast<int>(bytes));
        void* const before = sbrk(0);
        void* const block = malloc(room);
        void* const after = sbrk(0);
        mallopt(M_TOP_PAD, DefaultPad);
        mallopt(M_MMAP_THRESHOLD, DefaultPad);
        if (block != nullptr && after > before)
            advise_huge_pages(before, static_cast<size_t>(static_cast<char*>(after) -
                                                          static_cast<char*>(before)));
        free(block);
#else
        (void)bytes;
#endif
    }
    ~BlocksInHugePages() {
#if defined(__GLIBC__) && __GLIBC_PREREQ(2, 33)
        if (active_) mallopt(M_TRIM_THRESHOLD, DefaultPad);
#endif
    }
    BlocksInHugePages(const BlocksInHugePages&) = delete;
    BlocksInHugePages& operator=(const BlocksInHugePages&) = delete;

  private:
    // glibc's defaults for the heap's pad and for the trim and mapping
    // thresholds, and the largest mapping threshold it takes.
    static constexpr int DefaultPad = 128 * 1024;
    static constexpr size_t MappedFrom = size_t{32} << 20;
    bool active_ = false;
};

// Leaves the importer only the readers of the named format. When those turn a
// file down, the library would otherwise try every reader it has on the bytes
// (STEP, IFC, X3D, ...), and some of those read past the end of a damaged file.
void keep_only_readers_of(Assimp::Importer& importer, const std::string& extension) {
    std::vector<Assimp::BaseImporter*> others;
    for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
        Assimp::BaseImporter* reader = importer.GetImporter(i);
        std::set<std::string> extensions;
        reader->GetExtensionList(extensions);
        if (extensions.count(extension) == 0) others.push_back(reader);
    }
    for (Assimp::BaseImporter* reader : others)
        if (importer.UnregisterLoader(reader) == aiReturn_SUCCESS) delete reader;
}

// The reading itself, the importer and what it read gone at the end.
template <class Read>
ModelResult read_with_importer(Read read, const std::string& extension, long long max_triangles,
                               long long heap_bytes, ModelPartSink& sink) {
    try {
        Assimp::Importer importer;
        keep_only_readers_of(importer, extension);
        const aiScene* scene = nullptr;
        {
            const BlocksInHugePages heap(heap_bytes);
            scene = read(importer);
        }
        return take_scene(importer, scene, max_triangles, sink);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return refused(one_line(e.what()));
    }
}

// Gives the memory the library freed back to the system. A large model's
// faces were millions of small blocks, and their room in the heap stays with
// the process as long as anything allocated after them is alive: a mesh's
// hierarchy, built next, would come on top of it.
void give_back_freed_memory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

// The library's reading of a file or of bytes, its own errors caught.
// `heap_bytes`: about what the library's reading takes of the heap.
template <class Read>
ModelResult read_with_library(Read read, const std::string& extension, long long max_triangles,
                              long long heap_bytes, ModelPartSink& sink) {
    ModelResult result = read_with_importer(read, extension, max_triangles, heap_bytes, sink);
    give_back_freed_memory();
    return result;
}
#endif

// Hands on each triangle of the parts as its three corners' 24 numbers.
class TriangleSinkOfParts final : public ModelPartSink {
  public:
    explicit TriangleSinkOfParts(const ModelTriangleSink& sink) : sink_(sink) {}
    void reserve(size_t, size_t) override {}
    void part(const ModelPart& part) override {
        std::vector<float> corners;
        corners.reserve(8 * part.corners());
        part.eachCorner([&](const float* n) { corners.insert(corners.end(), n, n + 8); });
        float numbers[ModelTriangleNumbers];
        part.eachTriangle([&](const unsigned* c) {
            for (int k = 0; k < 3; ++k)
                std::copy_n(corners.data() + 8 * static_cast<size_t>(c[k]), 8, numbers + 8 * k);
            sink_(numbers);
        });
    }

  private:
    const ModelTriangleSink& sink_;
};

}  // namespace

long long model_triangle_limit() { return physical_memory() / ModelTriangleBytes; }

long long model_file_byte_limit() { return physical_memory() / 8; }

bool model_files_supported() {
#ifdef GLIMMARK_MODEL_FILES
    return true;
#else
    return false;
#endif
}

ModelResult read_model_file(const std::string& path, long long max_triangles,
                            const ModelTriangleSink& sink) {
    TriangleSinkOfParts parts(sink);
    return read_model_parts(path, max_triangles, parts);
}

ModelResult read_model_parts(const std::string& path, long long max_triangles,
                             ModelPartSink& sink) {
    if (!model_files_supported()) return refused("only the desktop programs read model files");
    namespace fs = std::filesystem;
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec)) return refused("no such file");
    const std::string ext = extension_of(path);
    if (!is_model_extension(ext)) return refused(NotAModelName);
    const auto size = fs::file_size(path, ec);
    if (ec) return refused("no such file");
    const long long limit = model_file_byte_limit();
    if (size > static_cast<std::uintmax_t>(limit))
        return refused("the file has " + std::to_string(size) + " bytes, more than the " +
                       std::to_string(limit) + " this machine reads");
    std::ifstream in(path, std::ios::binary);
    if (!in) return refused("the file cannot be opened");
    std::string head(MaxHeadBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    const PlyReadAt read_at = [&in](long long offset, char* out, size_t n) {
        in.clear();
        in.seekg(offset);
        in.read(out, static_cast<std::streamsize>(n));
        return static_cast<size_t>(in.gcount());
    };
    if (ext == "ply")
        if (const char* fault = ply_fault(path, head, static_cast<long long>(size), read_at))
            return refused(fault);
    if (ext == "glb" && !sound_glb_container(whole_pieces(read_at), static_cast<long long>(size)))
        return refused(DamagedGlbHeader);
    const long long declared = declared_triangles(ext, head, static_cast<long long>(size));
    if (declared > max_triangles) return too_many(declared);
#ifdef GLIMMARK_MODEL_FILES
    return read_with_library(
        [&path](Assimp::Importer& importer) { return importer.ReadFile(path, 0); }, ext,
        max_triangles, heap_estimate(declared, static_cast<long long>(size)), sink);
#else
    (void)sink;
    return refused("only the desktop programs read model files");
#endif
}

ModelResult read_model_bytes(const void* bytes, std::size_t size, const std::string& extension,
                             long long max_triangles, const ModelTriangleSink& triangles) {
    TriangleSinkOfParts sink(triangles);
    if (!model_files_supported()) return refused("only the desktop programs read model files");
    if (!is_model_extension(extension)) return refused(NotAModelName);
    if (size == 0) return refused("the file is empty");
    const std::string_view head(static_cast<const char*>(bytes),
                                std::min<std::size_t>(size, MaxHeadBytes));
    const std::string_view all(static_cast<const char*>(bytes), size);
    const PlyReadAt read_at = [all](long long offset, char* out, size_t n) {
        const std::string_view piece =
            all.substr(std::min(all.size(), static_cast<size_t>(offset)), n);
        std::memcpy(out, piece.data(), piece.size());
        return piece.size();
    };
    if (extension == "ply")
        if (const char* fault = ply_file_fault(
                head, static_cast<long long>(size), [all] { return all; }, read_at))
            return refused(fault);
    if (extension == "glb" &&
        !sound_glb_container(whole_pieces(read_at), static_cast<long long>(size)))
        return refused(DamagedGlbHeader);
    const long long declared = declared_triangles(extension, head, static_cast<long long>(size));
    if (declared > max_triangles) return too_many(declared);
#ifdef GLIMMARK_MODEL_FILES
    return read_with_library(
        [&](Assimp::Importer& importer) {
            return importer.ReadFileFromMemory(bytes, size, 0, extension.c_str());
        },
        extension, max_triangles, heap_estimate(declared, static_cast<long long>(size)), sink);
#else
    (void)sink;
    return refused("only the desktop programs read model files");
#endif
}
