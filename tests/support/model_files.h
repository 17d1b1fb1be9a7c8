#pragma once

// One set of triangles written four ways: as a typed MESH block and as the
// model files MESH FILE reads (binary PLY, Wavefront OBJ, binary STL). Each
// triangle is 24 numbers, three corners of position, normal, u and v, as a
// VERTEX_LIST gives them; every number has a short exact decimal form, so
// that every reader takes the same float from it.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using ModelNumbers = std::vector<float>;

// A bumpy grid of n x n squares, two triangles each, with smooth normals and
// texture coordinates (all multiples of 1/16).
inline ModelNumbers bumpy_grid(int n) {
    auto height = [](int i, int j) { return static_cast<float>((i * 7 + j * 3) % 5) / 16.0f; };
    auto corner = [&](int i, int j, ModelNumbers& out) {
        const float dx = height(i + 1, j) - height(i - 1, j);
        const float dz = height(i, j + 1) - height(i, j - 1);
        const float numbers[] = {static_cast<float>(i) / 4.0f,
                                 height(i, j),
                                 static_cast<float>(j) / 4.0f,
                                 -dx,
                                 0.5f,
                                 -dz,
                                 static_cast<float>(i) / 16.0f,
                                 static_cast<float>(j) / 16.0f};
        for (float n : numbers)
            out.push_back(n);
    };
    ModelNumbers out;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            corner(i, j, out), corner(i, j + 1, out), corner(i + 1, j, out);
            corner(i + 1, j, out), corner(i, j + 1, out), corner(i + 1, j + 1, out);
        }
    return out;
}

// The numbers as a MESH block's vertex list.
inline std::string typed_vertex_list(const ModelNumbers& numbers) {
    std::string text = "VERTEX_LIST\n";
    char word[32];
    for (size_t i = 0; i < numbers.size(); ++i) {
        std::snprintf(word, sizeof word, "%.9g", static_cast<double>(numbers[i]));
        text += word;
        text += i % 24 == 23 ? "\n" : " ";
    }
    return text + "END_VERTEX_LIST";
}

namespace model_files_detail {
inline void put(std::string& out, const void* p, size_t n) {
    out.append(static_cast<const char*>(p), n);
}
inline void put_float(std::string& out, float f) { put(out, &f, 4); }
}  // namespace model_files_detail

// Binary little-endian PLY: three vertices of its own for each face, with
// normals (nx, ny, nz) and texture coordinates (s, t).
inline std::string binary_ply(const ModelNumbers& numbers) {
    const size_t triangles = numbers.size() / 24;
    std::string out =
        "ply\nformat binary_little_endian 1.0\nelement vertex " + std::to_string(3 * triangles) +
        "\nproperty float x\nproperty float y\nproperty float z\n"
        "property float nx\nproperty float ny\nproperty float nz\n"
        "property float s\nproperty float t\nelement face " +
        std::to_string(triangles) + "\nproperty list uchar int vertex_indices\nend_header\n";
    for (float f : numbers)
        model_files_detail::put_float(out, f);
    for (size_t t = 0; t < triangles; ++t) {
        out.push_back(3);
        for (int k = 0; k < 3; ++k) {
            const int32_t index = static_cast<int32_t>(3 * t + static_cast<size_t>(k));
            model_files_detail::put(out, &index, 4);
        }
    }
    return out;
}

// Wavefront OBJ with v, vt and vn lines and f v/vt/vn.
inline std::string obj_text(const ModelNumbers& numbers) {
    std::string v, vt, vn, f;
    char line[128];
    const size_t corners = numbers.size() / 8;
    for (size_t c = 0; c < corners; ++c) {
        const float* n = numbers.data() + 8 * c;
        std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", n[0], n[1], n[2]);
        v += line;
        std::snprintf(line, sizeof line, "vn %.9g %.9g %.9g\n", n[3], n[4], n[5]);
        vn += line;
        std::snprintf(line, sizeof line, "vt %.9g %.9g\n", n[6], n[7]);
        vt += line;
    }
    for (size_t t = 0; t < corners / 3; ++t) {
        f += "f";
        for (size_t k = 1; k <= 3; ++k) {
            const std::string i = std::to_string(3 * t + k);
            f += " " + i + "/" + i + "/" + i;
        }
        f += "\n";
    }
    return v + vt + vn + f;
}

// Binary STL: each triangle with the normal of its first corner as the
// facet's (STL has one normal a face and no texture coordinates).
inline std::string binary_stl(const ModelNumbers& numbers) {
    const uint32_t triangles = static_cast<uint32_t>(numbers.size() / 24);
    std::string out(80, ' ');
    model_files_detail::put(out, &triangles, 4);
    for (uint32_t t = 0; t < triangles; ++t) {
        const float* n = numbers.data() + 24 * t;
        for (int i = 3; i < 6; ++i)
            model_files_detail::put_float(out, n[i]);
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 3; ++i)
                model_files_detail::put_float(out, n[8 * k + i]);
        out.append(2, '\0');
    }
    return out;
}

// The numbers as an STL file gives them back: each corner with its face's
// first normal and texture coordinates 0.
inline ModelNumbers as_stl_gives_them(ModelNumbers numbers) {
    for (size_t t = 0; t < numbers.size(); t += 24)
        for (int k = 0; k < 3; ++k) {
            float* c = numbers.data() + t + 8 * k;
            c[3] = numbers[t + 3], c[4] = numbers[t + 4], c[5] = numbers[t + 5];
            c[6] = c[7] = 0.0f;
        }
    return numbers;
}
