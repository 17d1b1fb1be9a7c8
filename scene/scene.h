#pragma once

#include "core/matrix4.h"
#include "core/record_list.h"
#include "core/vector3.h"
#include "shapes/shape.h"

// A point light with a linear fall-off that reaches zero at `strength`.
struct Light {
    Light* previous = nullptr;
    Light* next = nullptr;
    Vector3 position{0.0f, 0.0f, 0.0f};
    Vector3 color{1.0f, 1.0f, 1.0f};
    float strength = 8388608.0f;  // 2^23
};

// The viewpoint; the four vectors follow the frame whenever it is set.
struct Camera {
    Matrix4 frame_matrix = Matrix4::identity();
    Vector3 eye{0.0f, 0.0f, 0.0f};
    Vector3 right_axis{1.0f, 0.0f, 0.0f};
    Vector3 up_axis{0.0f, 1.0f, 0.0f};
    Vector3 view_point{0.0f, 0.0f, 1.0f};

    void set(const Matrix4& m) {
        frame_matrix = m;
        eye = m.row(3);
        right_axis = m.row(0);
        up_axis = m.row(1);
        view_point = eye.plus(m.row(2));
    }
};

// Everything one building parse fills and the render thread reads.
struct Scene {
    Vector3 background_color{0.0f, 0.0f, 0.5f};
    float ambience = 0.2f;
    float fog_depth = 0.0f;
    Camera camera;
    ShapeList shapes;
    RecordList<Light> lights;
};
