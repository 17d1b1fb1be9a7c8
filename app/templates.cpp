#include "app/templates.h"

#include "app/commands.h"

namespace {

#define SHAPE_BODY                                   \
    "\ttranslate 0,0,0 scale 1,1,1 rotate 0,0,0\r\n" \
    "\tmaterial diffuse 0.5,0.5,0.5 end_material\r\n"

#define CSG_BODY               \
    "\t;parent shape here\r\n" \
    "\t;child shape here\r\n"

const InsertTemplate kTemplates[] = {
    {cmd::InsertAnimation,
     "animation\r\n"
     "\tstart_time 0.0\r\n"
     "\tend_time 1.0\r\n"
     "\tframes 8\r\n"
     "\tframes_per_second 4\r\n"
     "\toutput_file \"animation.avi\"\r\n"
     "end_animation\r\n"},
    {cmd::InsertTracer,
     "tracer\r\n"
     "\tantialiasing 0 ;tracer holds integer values\r\n"
     "\tmax_depth 10\r\n"
     "\twidth 320\r\n"
     "\theight 240\r\n"
     "\tno_refraction\r\n"
     "\t;no_reflection\r\n"
     "\t;no_shadow\r\n"
     "\t;no_highlights\r\n"
     "\t;no_diffuse\r\n"
     "end_tracer\r\n"},
    {cmd::InsertScene,
     "scene\r\n"
     "\tbackground_color 0.0, 0.0, 0.0\r\n"
     "\tambience 1.0\r\n"
     "\tfog_depth 0.0\r\n"
     ";place lights and camera here\r\n"
     ";place frames and shapes here\r\n"
     "end_scene\r\n"},
    {cmd::InsertCamera,
     "camera\r\n"
     "\ttranslate 0.0, 1, 4.0\r\n"
     "\tlook_at 0.0, 0.0, 0.0\r\n"
     "end_camera\r\n"},
    {cmd::InsertLight,
     "light\r\n"
     "\ttranslate 10.0, 10.0, 10.0\r\n"
     "\tcolor 1,1,1\r\n"
     "\tstrength 100\r\n"
     "end_light\r\n"},
    {cmd::InsertFrame,
     "frame\r\n"
     "\tmatrix\r\n"
     "\t1 0 0 0 ;rx ux -fx 0\r\n"
     "\t0 1 0 0 ;ry uy -fy 0\r\n"
     "\t0 0 1 0 ;rz uz -fz 0\r\n"
     "\t0 0 0 1 ;tx ty tz 1\r\n"
     ";place shapes and child frames here\r\n"
     "end_frame\r\n"},
    {cmd::InsertMaterial,
     "material\r\n"
     "\tname Make_unique ;if you use a texture file name the material to reuse it\r\n"
     "\tdiffuse 1,1,1\r\n"
     "\ttransparency 0.0\r\n"
     "\tinner_transparency_depth 0.0\r\n"
     "\tgloss 0.2\r\n"
     "\treflection 0.0\r\n"
     "\trefraction 0.0\r\n"
     "\tdensity 1.0 ;how often the texture loops on a unit shape\r\n"
     "\ttexture_file \"c:\\filename\"\r\n"
     "end_material\r\n"},
    {cmd::InsertDefine,
     "define\r\n"
     "\tname Make_unique\r\n"
     "\t;for a prototype define enter code here otherwise leave blank\r\n"
     "end_define\r\n"},
    {cmd::InsertInterpolation,
     "interpolation\r\n"
     "\t;used with animation\r\n"
     "\tname Make_unique\r\n"
     "\t0.0\t1.0 ;pairs of time,value\r\n"
     "\t0.5\t0.75\r\n"
     "\t0.75\t0.25\r\n"
     "\t1.0\t0.0\r\n"
     "end_interpolation\r\n"},
    {cmd::InsertLoop,
     "loop Make_unique lt Make_unique 10 ;performs 10 loops\r\n"
     "\t;use the loop counter like this: translate Make_unique,0,0\r\n"
     "end_loop\r\n"},
    {cmd::InsertCube, "cube\r\n" SHAPE_BODY "end_cube\r\n"},
    {cmd::InsertPlane, "plane\r\n" SHAPE_BODY "end_plane\r\n"},
    {cmd::InsertSphere, "sphere\r\n" SHAPE_BODY "end_sphere\r\n"},
    {cmd::InsertCylinder, "cylinder\r\n" SHAPE_BODY "end_cylinder\r\n"},
    {cmd::InsertCone, "cone\r\n" SHAPE_BODY "end_cone\r\n"},
    {cmd::InsertParaboloid, "paraboloid\r\n" SHAPE_BODY "end_paraboloid\r\n"},
    {cmd::InsertHyperboloid, "hyperboloid\r\n" SHAPE_BODY "end_hyperboloid\r\n"},
    {cmd::InsertQuadric,
     "quadric\r\n"
     "\ttranslate 0,0,0 scale 1,1,1 rotate 0,0,0\r\n"
     "\tcoefficients 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, -1.0\r\n"
     "\tmaterial diffuse 0.5,0.5,0.5 end_material\r\n"
     "end_quadric\r\n"},
    {cmd::InsertMesh,
     "mesh\r\n"
     "\t;list of vertices that make up triangle faces, must be multiple of 3\r\n"
     "\tvertex_list\r\n"
     "\t-1,0,0 0,0,1 0,0\r\n"
     "\t0,2,0 0,0,1 0.5,1\r\n"
     "\t1,0,0 0,0,1 1,0\r\n"
     "\tend_vertex_list\r\n"
     "end_mesh\r\n"},
    {cmd::InsertUnion, "union\r\n\t;performs logical OR\r\n" CSG_BODY "end_union\r\n"},
    {cmd::InsertIntersection,
     "intersection\r\n\t;performs logical AND\r\n" CSG_BODY "end_intersection\r\n"},
    {cmd::InsertDifference,
     "difference\r\n\t;performs logical NOT\r\n" CSG_BODY "end_difference\r\n"},
};

#undef SHAPE_BODY
#undef CSG_BODY

}  // namespace

const InsertTemplate* insert_templates(int& count) {
    count = static_cast<int>(sizeof kTemplates / sizeof kTemplates[0]);
    return kTemplates;
}

const char* insert_template_text(int command) {
    for (const InsertTemplate& t : kTemplates)
        if (t.command == command) return t.text;
    return nullptr;
}
