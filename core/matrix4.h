#pragma once

#include "core/vector3.h"

// 4x4 affine matrix in row-vector convention: p' = (x, y, z, 1) x M.
// Rows 0..2 are the images of the unit axes, row 3 the translation.
struct Matrix3 {
    float m[3][3];
    float determinant() const;
};

struct Matrix4 {
    float m[4][4];

    static Matrix4 identity();
    void setIdentity();
    // Inline: every ray a unit shape tests goes through both.
    Vector3 transformPoint(const Vector3& p) const {
        return {p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
                p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
                p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
    }
    Vector3 transformDirection(const Vector3& d) const {
        return {d.x * m[0][0] + d.y * m[1][0] + d.z * m[2][0],
                d.x * m[0][1] + d.y * m[1][1] + d.z * m[2][1],
                d.x * m[0][2] + d.y * m[1][2] + d.z * m[2][2]};
    }
    Vector3 transformNormal(const Vector3& n) const;
    void scaleDiagonal(float x, float y, float z);
    void addTranslation(float x, float y, float z);
    void setRotation(float ax, float ay, float az);
    void orientAlong(const Vector3& d);
    void lookAt(const Vector3& target);
    // this := this x other (this applied first, then other).
    void compose(const Matrix4& other);
    Matrix3 minor(int i, int j) const;
    float determinant() const;
    void invert();

    Vector3 row(int r) const { return {m[r][0], m[r][1], m[r][2]}; }
    void setRow(int r, const Vector3& v) {
        m[r][0] = v.x;
        m[r][1] = v.y;
        m[r][2] = v.z;
    }
};
