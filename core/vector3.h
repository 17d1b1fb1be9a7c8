#pragma once

#include <cmath>

// Points, directions, normals and RGB colours alike. All arithmetic is f32.
struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
#if defined(__wasm__)
    // Member by member. The WebAssembly build would copy the 12 bytes as
    // one 8-byte and one 4-byte value, and a vector just written float by
    // float (a result, a hit's normal) cannot be read back 8 bytes at once
    // until those writes have reached memory: a stall at every such copy.
    constexpr Vector3(const Vector3& v) : x(v.x), y(v.y), z(v.z) {}
    constexpr Vector3& operator=(const Vector3& v) {
        x = v.x;
        y = v.y;
        z = v.z;
        return *this;
    }
#endif

    Vector3 plus(const Vector3& v) const { return {x + v.x, y + v.y, z + v.z}; }
    Vector3 scaled(float s) const { return {x * s, y * s, z * s}; }
    float dot(const Vector3& v) const {
        float r = x * v.x;
        r = r + y * v.y;
        r = r + z * v.z;
        return r;
    }
    Vector3 cross(const Vector3& v) const {
        return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
    }
    float length() const {
        float sum = x * x + y * y + z * z;
        return std::sqrt(sum);
    }
    // A zero vector has no direction; (0, 1, 0) stands in for it.
    Vector3 normalized() const {
        float len = length();
        if (len == 0.0f) return {0.0f, 1.0f, 0.0f};
        return {x / len, y / len, z / len};
    }
    // In place; a zero (or NaN-length) vector stays as it is.
    void normalize() {
        float len = length();
        if (len > 0.0f) {
            x = x / len;
            y = y / len;
            z = z / len;
        }
    }

    // Convenience operators for the many places that write differences out.
    Vector3 operator+(const Vector3& v) const { return plus(v); }
    Vector3 operator-(const Vector3& v) const { return {x - v.x, y - v.y, z - v.z}; }
    Vector3 operator*(float s) const { return scaled(s); }
    Vector3 operator/(float s) const { return {x / s, y / s, z / s}; }
    bool operator==(const Vector3& v) const { return x == v.x && y == v.y && z == v.z; }
    bool operator!=(const Vector3& v) const { return !(*this == v); }
};

// Componentwise product, used for colours.
inline Vector3 multiply(const Vector3& a, const Vector3& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
