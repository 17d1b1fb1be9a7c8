// The shape blocks: unit shapes, QUADRIC and CUBIC, SOR and MESH, and the two
// rules every shape follows: placing it and its local transforms.

#include "language/blocks.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "core/huge_pages.h"
#include "language/expressions.h"
#include "language/number_run.h"
#include "language/parse_threads.h"
#include "language/scene_budget.h"
#include "language/source_ranges.h"
#include "language/tokenizer.h"
#include "scene/model_file.h"
#include "scene/scene.h"
#include "shapes/box.h"
#include "shapes/capped_surface.h"
#include "shapes/cosine.h"
#include "shapes/cubic.h"
#include "shapes/everywhere.h"
#include "shapes/plane.h"
#include "shapes/quadric.h"
#include "shapes/sor.h"
#include "shapes/sphere.h"
#include "shapes/triangle.h"
#include "shapes/triangle_mesh.h"
#include "shapes/trioid_pyramid.h"

namespace {

// A profile holds at most this many points.
constexpr int MaxSorPoints = 32;

UnitShape* make_unit_shape(int token) {
    switch (token) {
        case SPHERE:
            return new Sphere;
        case CYLINDER:
            return new Cylinder;
        case CONE:
            return new Cone;
        case PARABOLOID:
            return new Paraboloid;
        case HYPERBOLOID:
            return new Hyperboloid;
        case CUBE:
            return new Box;
        case PLANE:
            return new Plane;
        case TRIAD:
            return new Trioid;
        case PYRAMID:
            return new Pyramid;
        case COSINE:
            return new Cosine;
        default:
            return new Everywhere;
    }
}

// Any unit-shape end closes any unit-shape block.
bool is_unit_shape_end(int token) {
    switch (token) {
        case END_SPHERE:
        case END_CYLINDER:
        case END_CONE:
        case END_PARABOLOID:
        case END_HYPERBOLOID:
        case END_CUBE:
        case END_PLANE:
        case END_TRIAD:
        case END_PYRAMID:
        case END_COSINE:
        case END_EVERYWHERE:
        case BLOCK_END:
            return true;
        default:
            return false;
    }
}

// MATERIAL inside a shape block: the shape takes the material just parsed.
void shape_material(ParseContext& pc, CShape* shape) {
    parse_material(pc);
    if (shape != nullptr) shape->material = pc.current_material();
}

// Steps the scan back to where it stood before the word just scanned, so that
// the word is read again as the start of an expression.
void step_back(ParseContext& pc, int position) { pc.document.position = position; }

// One number of a corner. The words of a vertex list are nearly always plain
// numbers: such a word is taken at once, anything else is read again as an
// expression (a name, an operator, or the error read_expression reports).
float read_corner_number(ParseContext& pc) {
    if (pc.nesting_depth < MaxNesting) {
        const int before = pc.document.position;
        scan_token(pc);
        float value = 0.0f;
        if (parse_number_word(pc.word, value)) return value;
        step_back(pc, before);
    }
    return read_expression(pc);
}

// Numbers of one triangle: three corners of position, normal and texture (u, v).
constexpr int TriangleNumbers = 24;

// The triangle of 24 corner numbers, built at `place`. Triangles live in world
// space: the frame carries their corners once.
Triangle* build_triangle(void* place, const float* numbers, const Frame& frame,
                         Material* material) {
    Vector3 corner[3];
    Vector3 normal[3];
    for (int k = 0; k < 3; ++k) {
        const float* n = numbers + 8 * k;
        corner[k] = frame.transformPoint({n[0], n[1], n[2]});
        normal[k] = frame.transformNormal({n[3], n[4], n[5]});
    }
    const float* n = numbers;
    return ::new (place) Triangle(corner[0], corner[1], corner[2], normal[0], normal[1], normal[2],
                                  n[6], n[7], n[14], n[15], n[22], n[23], material);
}

// The text a run of plain numbers is read in at once, and the least a thread
// is given of it or of the triangles.
constexpr int RunBlock = 1 << 22;
constexpr int RunChunk = 1 << 16;
constexpr size_t TrianglesPerThread = 4096;

// What the plain-number path keeps from one try to the next in one list.
struct VertexRun {
    NumberRun numbers;
    std::vector<void*, HugePageAllocator<void*>> places;
    // A run cut into chunks that ended at a word that is no plain number is
    // not cut again before here: its chunks would read the same text again.
    int chunks_from = 0;
};

// Appends `count` triangles of the run's numbers to the list, in their order,
// built on up to `threads` threads.
void append_triangles(ParseContext& pc, ShapeList& target, VertexRun& run, size_t count,
                      int threads) {
    if (count == 0) return;
    auto& places = run.places;
    places.clear();
    places.reserve(count);
    try {
        while (places.size() < count)
            places.push_back(Triangle::operator new(sizeof(Triangle)));
    } catch (...) {
        for (void* place : places)
            Triangle::operator delete(place, sizeof(Triangle));
        places.clear();
        throw;
    }
    const Frame& frame = *pc.current_frame();
    Material* material = pc.current_material();
    const NumberRun& numbers = run.numbers;
    const int parts = static_cast<int>(
        std::clamp<size_t>(count / TrianglesPerThread, 1, static_cast<size_t>(threads)));
    run_in_parallel(parts, [&](int part) {
        const size_t first = count * static_cast<size_t>(part) / static_cast<size_t>(parts);
        const size_t last = count * static_cast<size_t>(part + 1) / static_cast<size_t>(parts);
        float corners[TriangleNumbers];
        for (size_t t = first; t < last; ++t) {
            numbers.copy_values(TriangleNumbers * t, TriangleNumbers, corners);
            build_triangle(places[t], corners, frame, material);
        }
        // Each triangle is linked to its neighbours in the list by the thread
        // that built it, while it is in that thread's cache.
        for (size_t t = first; t < last; ++t) {
            CShape* triangle = static_cast<Triangle*>(places[t]);
            if (t > 0) triangle->prev = static_cast<Triangle*>(places[t - 1]);
            if (t + 1 < count) triangle->next = static_cast<Triangle*>(places[t + 1]);
        }
    });
    target.appendChain(static_cast<Triangle*>(places.front()),
                       static_cast<Triangle*>(places.back()));
    places.clear();
}

// Leaves the scan behind the word [start, end) and its separator, with the
// word read, as scan_token would leave it.
void scan_past(ParseContext& pc, int start, int end) {
    pc.word.assign(pc.document.text, static_cast<size_t>(start), static_cast<size_t>(end - start));
    pc.token = keyword_code(pc.word);
    pc.word_position = start;
    pc.document.position = end + 1;
}

// Triangles the shape allowance still has room for, at most `wanted`.
size_t shape_room(const ParseContext& pc, size_t wanted) {
    const long long room = std::max(pc.limits.shapes - pc.budget.shapes, 0LL);
    return std::min(wanted, static_cast<size_t>(room));
}

// The plain-number path on one thread: each triangle is built as soon as its
// 24 numbers are read.
void stream_plain_triangles(ParseContext& pc, ShapeList* target) {
    TextBuffer& doc = pc.document;
    const std::string_view text(doc.text.data(), static_cast<size_t>(doc.length));
    PlainWord word;
    PlainWord last_taken;
    bool taken = false;
    float numbers[TriangleNumbers];
    for (int p = doc.position;;) {
        int i = 0;
        while (i < TriangleNumbers &&
               read_plain_word(text, p, doc.length, doc.length, word) == PlainWord::Number)
            numbers[i++] = word.value;
        if (i < TriangleNumbers || (target != nullptr && shape_room(pc, 1) == 0)) break;
        if (target != nullptr) {
            pc.budget.shapes += 1;
            target->append(build_triangle(Triangle::operator new(sizeof(Triangle)), numbers,
                                          *pc.current_frame(), pc.current_material()));
        }
        last_taken = word;
        taken = true;
    }
    if (taken) scan_past(pc, last_taken.start, last_taken.end);
}

// Reads the whole triangles of plain numbers that stand at the read position,
// exactly as the triangle loop would read them one word at a time, and leaves
// the scan behind the last of them with its word read. Whatever ends the run
// is left to the loop: a word of another kind, a comment, the end of the list,
// a triangle the shape allowance refuses.
void read_plain_triangles(ParseContext& pc, ShapeList* target, VertexRun& run) {
    TextBuffer& doc = pc.document;
    for (;;) {
        const int begin = doc.position;
        const int limit = begin + std::min(RunBlock, doc.length - begin);
        // Text too short for two chunks makes too few triangles for two threads.
        const bool long_run = limit - begin >= 2 * RunChunk && begin >= run.chunks_from;
        const int threads = long_run ? parse_thread_count(pc) : 1;
        if (threads == 1) {
            stream_plain_triangles(pc, target);
            return;
        }
        const std::string_view text(doc.text.data(), static_cast<size_t>(doc.length));
        run.numbers.read(text, begin, limit, threads, RunChunk);
        if (run.numbers.refused()) run.chunks_from = run.numbers.extent();
        size_t triangles = run.numbers.size() / TriangleNumbers;
        if (target != nullptr) {
            triangles = shape_room(pc, triangles);
            pc.budget.shapes += static_cast<long long>(triangles);
            append_triangles(pc, *target, run, triangles, threads);
        }
        if (triangles == 0) return;
        const int end = run.numbers.end_of(triangles * TriangleNumbers - 1);
        int start = end;
        while (start > begin && !is_word_separator(doc.text[static_cast<size_t>(start) - 1]))
            --start;
        scan_past(pc, start, end);
        if (run.numbers.refused() || run.numbers.extent() < limit || limit >= doc.length) return;
    }
}

// vertex_list ::= VERTEX_LIST { corner corner corner } END_VERTEX_LIST
// corner ::= vec vec expr expr         (position, normal, texture u and v)
void parse_vertex_list(ParseContext& pc, ShapeList* target) {
    VertexRun run;
    while (more_to_read(pc)) {
        if (pc.nesting_depth < MaxNesting) {
            read_plain_triangles(pc, target, run);
            if (!more_to_read(pc)) break;
        }
        const int before = pc.document.position;
        scan_token(pc);
        if (word_is(pc.word, Statement::EndVertexList)) return;
        if (pc.word.empty()) break;
        // Three corners of eight numbers: position, normal, texture (u, v);
        // the word just read is the first of them when it is a number.
        float numbers[TriangleNumbers];
        int read = 0;
        if (pc.nesting_depth < MaxNesting && parse_number_word(pc.word, numbers[0]))
            read = 1;
        else
            step_back(pc, before);
        for (; read < TriangleNumbers; ++read)
            numbers[read] = read_corner_number(pc);
        if (target == nullptr || pc.parse_error || !budget_shape(pc)) continue;
        target->append(build_triangle(Triangle::operator new(sizeof(Triangle)), numbers,
                                      *pc.current_frame(), pc.current_material()));
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_VERTEX_LIST.");
}

// A model's parts made into one TriangleMesh, each corner placed by the
// frame as a typed triangle's corner with the same numbers would be. A large
// part is copied in stretches on `threads` threads, each stretch to its own
// place: the mesh is the same whatever their number.
class MeshOfParts final : public ModelPartSink {
  public:
    MeshOfParts(const Frame& frame, Material* material, int threads)
        : frame_(frame), threads_(threads) {
        mesh_->material = material;
    }
    void reserve(size_t corners, size_t triangles) override {
        mesh_->corners.reserve(corners);
        mesh_->faces.reserve(triangles);
    }
    void part(const ModelPart& part) override {
        const size_t cornerBase = mesh_->corners.size(), faceBase = mesh_->faces.size();
        const size_t corners = part.corners(), triangles = part.triangles();
        mesh_->corners.resize(cornerBase + corners);
        mesh_->faces.resize(faceBase + triangles);
        const auto base = static_cast<uint32_t>(cornerBase);
        const int stretches = triangles >= ParallelTriangles ? std::max(threads_, 1) : 1;
        run_in_parallel(stretches, [&](int s) {
            const size_t c0 = corners * s / stretches, c1 = corners * (s + 1) / stretches;
            TriangleMesh::Corner* corner = mesh_->corners.data() + cornerBase + c0;
            part.eachCornerIn(c0, c1, [&](const float* n) {
                *corner++ = {frame_.transformPoint({n[0], n[1], n[2]}),
                             frame_.transformNormal({n[3], n[4], n[5]}), n[6], n[7]};
            });
            const size_t t0 = triangles * s / stretches, t1 = triangles * (s + 1) / stretches;
            TriangleMesh::Face* face = mesh_->faces.data() + faceBase + t0;
            part.eachTriangleIn(t0, t1, [&](const unsigned* c) {
                *face++ = {{base + c[0], base + c[1], base + c[2]}};
            });
        });
    }
    // The mesh, once whole.
    TriangleMesh* take() { return mesh_.release(); }

  private:
    // Parts smaller than this are not worth a thread.
    static constexpr size_t ParallelTriangles = 1 << 16;
    const Frame& frame_;
    const int threads_;
    std::unique_ptr<TriangleMesh> mesh_ = std::make_unique<TriangleMesh>();
};

// FILE in a MESH block: the model file named by the word just read, its
// triangles made as typed ones with the same numbers would be, kept as one
// mesh. Its triangles count against the model allowance, not the shapes'; a
// model that would pass it is refused whole, before its triangles are made.
void load_model_file(ParseContext& pc, ShapeList& target) {
    const long long room = std::max(pc.limits.model_triangles - pc.budget.model_triangles, 0LL);
    MeshOfParts mesh(*pc.current_frame(), pc.current_material(), parse_thread_count(pc));
    const ModelResult result = read_model_parts(resolve_document_path(pc, pc.word), room, mesh);
    if (result.status == ModelStatus::Loaded) target.append(mesh.take());
    std::string message;
    switch (result.status) {
        case ModelStatus::Loaded:
            pc.budget.model_triangles += result.triangles;
            return;
        case ModelStatus::TooManyTriangles:
            message = "Could not load model file: too many triangles. Expected at most " +
                      std::to_string(pc.limits.model_triangles);
            break;
        case ModelStatus::Refused:
            message = "Could not load model file: " + result.reason;
            break;
    }
    report_parse_error(pc, message.c_str());
}

}  // namespace

bool is_unit_shape(int token) {
    switch (token) {
        case SPHERE:
        case CYLINDER:
        case CONE:
        case PARABOLOID:
        case HYPERBOLOID:
        case CUBE:
        case PLANE:
        case TRIAD:
        case PYRAMID:
        case COSINE:
        case EVERYWHERE:
            return true;
        default:
            return false;
    }
}

bool is_shape_block(int token) {
    return is_unit_shape(token) || token == QUADRIC || token == CUBIC || token == SOR ||
           token == UNION || token == INTERSECTION || token == DIFFERENCE;
}

// shape ::= unit_shape | quadric | cubic | sor | csg
void parse_shape_block(ParseContext& pc) {
    const ShapeRangeNote note(pc);
    const int token = pc.token;
    if (is_unit_shape(token))
        parse_unit_shape(pc);
    else if (token == QUADRIC || token == CUBIC)
        parse_polynomial(pc);
    else if (token == SOR)
        parse_sor(pc);
    else
        parse_csg(pc);
}

CShape* take_last(ShapeList& list) {
    CShape* last = list.tail;
    list.removeLast();
    return last;
}

void place_shape(ParseContext& pc, UnitShape* shape) {
    shape->material = pc.current_material();
    shape->setTransform(*pc.current_frame());
    pc.scene->shapes.append(shape);
}

bool is_local_transform(int token) {
    return token == TRANSLATE || token == SCALE || token == ROTATE;
}

Matrix4 local_transform_matrix(int token, const Vector3& v) {
    Matrix4 m = Matrix4::identity();
    if (token == TRANSLATE) {
        m.m[3][0] = v.x;
        m.m[3][1] = v.y;
        m.m[3][2] = v.z;
    } else if (token == SCALE) {
        m.m[0][0] = v.x;
        m.m[1][1] = v.y;
        m.m[2][2] = v.z;
    } else {
        m.setRotation(v.x, v.y, v.z);
    }
    return m;
}

void apply_local_transform(ParseContext& pc, int token, UnitShape* shape) {
    const Vector3 v = read_vector(pc);
    if (shape == nullptr) return;
    // The new statement acts in the shape's own space, before what came
    // earlier and before the frame.
    Frame m;
    m.matrix = local_transform_matrix(token, v);
    m.compose(shape->unitToWorld);
    shape->setTransform(m);
}

// unit_shape ::= unit { TRANSLATE vec | SCALE vec | ROTATE vec | material
//                     | interpolation | PHASE expr } unit_end
// unit ::= SPHERE | CYLINDER | CONE | PARABOLOID | HYPERBOLOID | CUBE | PLANE
//        | TRIAD | PYRAMID | COSINE | EVERYWHERE
// unit_end ::= END_SPHERE | END_CYLINDER | END_CONE | END_PARABOLOID
//            | END_HYPERBOLOID | END_CUBE | END_PLANE | END_TRIAD | END_PYRAMID
//            | END_COSINE | END_EVERYWHERE | END
// Any unit_end closes any unit shape; PHASE belongs to a COSINE only.
void parse_unit_shape(ParseContext& pc) {
    const int kind = pc.token;
    UnitShape* shape = nullptr;
    if (pc.build_scene && budget_shape(pc)) {
        shape = make_unit_shape(kind);
        place_shape(pc, shape);
    }
    while (more_to_read(pc)) {
        scan_token(pc);
        const int token = pc.token;
        if (is_unit_shape_end(token)) return;
        if (is_local_transform(token)) {
            apply_local_transform(pc, token, shape);
        } else if (token == MATERIAL) {
            shape_material(pc, shape);
        } else if (token == INTERPOLATION) {
            parse_interpolation(pc);
        } else if (kind == COSINE && word_is(pc.word, Statement::Phase)) {
            const float phase = read_expression(pc);
            if (shape != nullptr) static_cast<Cosine*>(shape)->phase = phase;
        } else if (!pc.word.empty()) {
            report_parse_error(pc, "Bad Unit Shape. Expected ROTATE,SCALE,TRANSLATE or MATERIAL");
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END of Unit Shape");
}

// quadric ::= QUADRIC { polynomial_statement } ( END_QUADRIC | END )
// cubic ::= CUBIC { polynomial_statement } ( END_CUBIC | END )
// polynomial_statement ::= COEFFICIENTS expr{10} | TRANSLATE vec | SCALE vec
//                        | ROTATE vec | material | interpolation
void parse_polynomial(ParseContext& pc) {
    const bool quadric = pc.token == QUADRIC;
    UnitShape* shape = nullptr;
    float* coefficients = nullptr;
    if (pc.build_scene && budget_shape(pc)) {
        if (quadric) {
            Quadric* q = new Quadric;
            coefficients = q->coefficients;
            shape = q;
        } else {
            Cubic* c = new Cubic;
            coefficients = c->coefficients;
            shape = c;
        }
        place_shape(pc, shape);
    }
    const int end_token = quadric ? END_QUADRIC : END_CUBIC;
    while (more_to_read(pc)) {
        scan_token(pc);
        const int token = pc.token;
        if (token == end_token || token == BLOCK_END) return;
        if (token == COEFFICIENTS) {
            for (int i = 0; i < 10; ++i) {
                const float c = read_expression(pc);
                if (coefficients != nullptr) coefficients[i] = c;
            }
        } else if (is_local_transform(token)) {
            apply_local_transform(pc, token, shape);
        } else if (token == MATERIAL) {
            shape_material(pc, shape);
        } else if (token == INTERPOLATION) {
            parse_interpolation(pc);
        } else if (!pc.word.empty()) {
            report_parse_error(
                pc, quadric
                        ? "Bad Quadric. Expected COEFFICIENTS,ROTATE,SCALE,TRANSLATE or MATERIAL"
                        : "Bad Cubic. Expected COEFFICIENTS,ROTATE,SCALE,TRANSLATE or MATERIAL");
        }
    }
    if (!pc.parse_error)
        report_parse_error(pc, quadric ? "Expected END_QUADRIC." : "Expected END_CUBIC.");
}

// sor ::= SOR { TYPE word | material | TRANSLATE vec | SCALE vec | ROTATE vec
//             | expr expr } END_SOR
// The pairs are the profile's points (radius, height), at most 32; TYPE
// CATMULL makes the profile a curve.
void parse_sor(ParseContext& pc) {
    // The token SOR hides the class name.
    struct SOR* sor = nullptr;
    if (pc.build_scene && budget_shape(pc)) {
        sor = new struct SOR;
        place_shape(pc, sor);
    }
    int points = 0;
    while (more_to_read(pc)) {
        const int before = pc.document.position;
        scan_token(pc);
        const std::string& w = pc.word;
        // "END" and "}" do not end a profile: they are read as points.
        if (pc.token == END_SOR) return;
        if (word_is(w, Statement::Type)) {
            scan_token(pc);
            if (sor != nullptr && word_is(pc.word, Statement::Catmull)) sor->profileType = 1;
        } else if (pc.token == MATERIAL) {
            shape_material(pc, sor);
        } else if (is_local_transform(pc.token)) {
            apply_local_transform(pc, pc.token, sor);
        } else if (!w.empty()) {
            // Dropping the points beyond the profile's room would hide the
            // mistake, so they are refused.
            if (points == MaxSorPoints) {
                report_parse_error(pc, "Too many SOR points. Expected at most 32");
                return;
            }
            step_back(pc, before);
            float radius = 0.0f;
            float height = 0.0f;
            read_pair(pc, radius, height);
            ++points;
            if (sor != nullptr) sor->addPoint(radius, height);
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_SOR.");
}

// mesh ::= MESH { vertex_list | FILE string | material } END_MESH
// FILE reads the triangles of a model file (OBJ, PLY, STL, glTF); a check-only
// parse does not open it.
void parse_mesh(ParseContext& pc, ShapeList* target) {
    const ShapeRangeNote note(pc, target);
    while (more_to_read(pc)) {
        scan_token(pc);
        const std::string& w = pc.word;
        if (pc.token == END_MESH) return;
        if (word_is(w, Statement::VertexList)) {
            parse_vertex_list(pc, target);
        } else if (pc.token == FILE_TOKEN) {
            read_string(pc);
            if (target != nullptr)
                load_model_file(pc, *target);
            else if (!model_files_supported())
                report_parse_error(pc,
                                   "Could not load model file: only the desktop programs "
                                   "read model files");
        } else if (pc.token == MATERIAL) {
            parse_material(pc);
        } else if (!w.empty()) {
            report_parse_error(pc, "Bad Mesh. Expected MATERIAL or VERTEX_LIST");
        }
    }
    if (!pc.parse_error) report_parse_error(pc, "Expected END_MESH.");
}
