#include "core/matrix4.h"

#include <cmath>

#include "core/float_math.h"
#include "core/frame.h"
#include "core/ray.h"

float Matrix3::determinant() const {
    const float(&a)[3][3] = m;
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
}

Matrix4 Matrix4::identity() {
    Matrix4 r;
    r.setIdentity();
    return r;
}

void Matrix4::setIdentity() {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m[r][c] = (r == c) ? 1.0f : 0.0f;
}

// Normals go through the same linear part as directions (not the inverse
// transpose); saved scenes are shaded with exactly this rule.
Vector3 Matrix4::transformNormal(const Vector3& n) const {
    return transformDirection(n).normalized();
}

void Matrix4::scaleDiagonal(float x, float y, float z) {
    m[0][0] *= x;
    m[1][1] *= y;
    m[2][2] *= z;
}

void Matrix4::addTranslation(float x, float y, float z) {
    m[3][0] += x;
    m[3][1] += y;
    m[3][2] += z;
}

void Matrix4::setRotation(float ax, float ay, float az) {
    const float ca = fmath::cos(ax), sa = fmath::sin(ax);
    const float cb = fmath::cos(ay), sb = fmath::sin(ay);
    const float cc = fmath::cos(az), sc = fmath::sin(az);
    m[0][0] = cb * cc + sa * sb * sc;
    m[0][1] = ca * sc;
    m[0][2] = sa * cb * sc - sb * cc;
    m[1][0] = sa * sb * cc - cb * sc;
    m[1][1] = ca * cc;
    m[1][2] = sb * sc + sa * cb * cc;
    m[2][0] = ca * sb;
    m[2][1] = -sa;
    m[2][2] = ca * cb;
}

void Matrix4::orientAlong(const Vector3& d) {
    const Vector3 forward = d.scaled(-1.0f);
    const Vector3 oldRight = row(0);
    const Vector3 oldUp = row(1);
    setRow(2, forward);
    if (forward != oldUp) {
        const Vector3 side = forward.cross(oldUp);
        if (side.x != 0.0f || side.y != 0.0f || side.z != 0.0f) {
            const Vector3 right = side.normalized();
            setRow(0, right);
            setRow(1, right.cross(forward).normalized());
            return;
        }
        // Looking along the old up axis (either way): there is no plane to
        // take the right axis from, so keep the old right axis instead, as
        // the branch below does.
    }
    const Vector3 up = oldRight.cross(forward).normalized();
    setRow(1, up);
    setRow(0, forward.cross(up).normalized());
}

void Matrix4::lookAt(const Vector3& target) {
    const Vector3 eye = row(3);
    const Vector3 d = Vector3{eye.x - target.x, eye.y - target.y, eye.z - target.z}.normalized();
    orientAlong(d);
}

void Matrix4::compose(const Matrix4& other) {
    const float(&a)[4][4] = m;
    const float(&b)[4][4] = other.m;
    float r[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 3; ++c) {
            float v = a[i][0] * b[0][c] + a[i][1] * b[1][c] + a[i][2] * b[2][c];
            if (i == 3) v = v + b[3][c];
            r[i][c] = v;
        }
        r[i][3] = (i == 3) ? 1.0f : 0.0f;
    }
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c)
            m[i][c] = r[i][c];
}

Matrix3 Matrix4::minor(int i, int j) const {
    Matrix3 r;
    for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l)
            r.m[k][l] = m[k + (k >= i ? 1 : 0)][l + (l >= j ? 1 : 0)];
    return r;
}

float Matrix4::determinant() const {
    float sum = 0.0f;
    for (int j = 0; j < 4; ++j) {
        const float term = m[0][j] * minor(0, j).determinant();
        sum = (j % 2 == 0) ? sum + term : sum - term;
    }
    return sum;
}

void Matrix4::invert() {
    const float det = determinant();
    float r[4][4];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const float cof = minor(i, j).determinant();
            r[j][i] = (((i + j) % 2 == 0) ? cof : -cof) / det;
        }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] = r[i][j];
}
