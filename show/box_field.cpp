#include "show/box_field.h"

#include "core/rng.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <cmath>
#include <numbers>

namespace {

BoxTables tables;
bool boxes_seeded = false;

// Face, box, grid point: zero at start, so a face never refreshed shows (0, 0).
float box_texcoords[6][box_count][box_grid_points][2];

// One box's visible faces as vertex arrays, face after face.
struct BoxMesh {
    float vertex[6 * box_grid_points][3];
    float normal[6 * box_grid_points][3];
    float texcoord[6 * box_grid_points][2];
};
BoxMesh mesh;

// Per face 8 x 8 cells of two triangles each, split the way the rasteriser
// splits the quads of a quad strip running up the rows, so the picture is
// the one quad strips give: (upper right, upper left, lower right) and
// (upper left, lower left, lower right).
constexpr int face_indices = (box_grid - 1) * (box_grid - 1) * 6;

constexpr std::array<GLushort, 6 * face_indices> make_indices()
{
    std::array<GLushort, 6 * face_indices> out{};
    size_t n = 0;
    for (int f = 0; f < 6; ++f)
        for (int r = 0; r < box_grid - 1; ++r)
            for (int j = 0; j < box_grid - 1; ++j) {
                const int upper = f * box_grid_points + (r + 1) * box_grid + j;
                const int lower = f * box_grid_points + r * box_grid + j;
                for (int v : {upper + 1, upper, lower + 1, upper, lower, lower + 1})
                    out[n++] = static_cast<GLushort>(v);
            }
    return out;
}
constexpr std::array<GLushort, 6 * face_indices> indices = make_indices();

void seed_boxes()
{
    if (boxes_seeded)
        return;
    rng_seed(143);
    for (int i = 0; i < box_count; ++i) {
        for (float& c : tables.pos[i])
            c = 4.0f * frand() - 2.0f;
        tables.scale[i] = 2.0f * frand() + 0.5f;
    }
    boxes_seeded = true;
}

struct Face {
    float normal[3];
    int corner[4][3];  // per corner: minus (0) or plus (1) half extent in x, y, z
};

// Faces +z, -z, +y, -y, -x, +x with corners P1..P4, counter-clockwise seen
// from outside.
constexpr Face faces[6] = {
    {{0, 0, 1}, {{0, 1, 1}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}}},
    {{0, 0, -1}, {{1, 1, 0}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}}},
    {{0, 1, 0}, {{0, 1, 0}, {0, 1, 1}, {1, 1, 1}, {1, 1, 0}}},
    {{0, -1, 0}, {{1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 0, 0}}},
    {{-1, 0, 0}, {{0, 1, 0}, {0, 0, 0}, {0, 0, 1}, {0, 1, 1}}},
    {{1, 0, 0}, {{1, 1, 1}, {1, 0, 1}, {1, 0, 0}, {1, 1, 0}}},
};

// One face from its four corners into slot `slot` of the box's mesh: its
// grid, its normal and its cached texture coordinates, the cache recomputed
// first with refresh set.
void box_face_draw(int slot, const float p1[3], const float p2[3], const float p3[3],
                   const float p4[3], bool refresh, int box, int face, const double modelview[16],
                   const double projection[16])
{
    const float* normal = faces[face].normal;
    float (*cache)[2] = box_texcoords[face][box];
    float (*grid)[3] = mesh.vertex + slot * box_grid_points;

    // Row 0 runs from P2 to P3, row 8 from P1 to P4.
    for (int r = 0; r < box_grid; ++r) {
        float v = r / 8.0f;
        float left[3], right[3];
        for (int c = 0; c < 3; ++c) {
            left[c] = p2[c] + v * (p1[c] - p2[c]);
            right[c] = p3[c] + v * (p4[c] - p3[c]);
        }
        for (int j = 0; j < box_grid; ++j) {
            float u = j / 8.0f;
            float* point = grid[r * box_grid + j];
            for (int c = 0; c < 3; ++c)
                point[c] = left[c] + u * (right[c] - left[c]);
            // A point that cannot be projected keeps its previous coordinates.
            if (refresh) {
                float s, t;
                if (screen_texcoord(point, modelview, projection, &s, &t)) {
                    cache[r * box_grid + j][0] = s;
                    cache[r * box_grid + j][1] = t;
                }
            }
        }
    }
    for (int k = 0; k < box_grid_points; ++k) {
        int at = slot * box_grid_points + k;
        for (int c = 0; c < 3; ++c)
            mesh.normal[at][c] = normal[c];
        mesh.texcoord[at][0] = cache[k][0];
        mesh.texcoord[at][1] = cache[k][1];
    }
}

// Draws the first `count` faces of the mesh, in one call.
void draw_mesh(int count)
{
    if (count == 0)
        return;
    glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, mesh.vertex);
    glNormalPointer(GL_FLOAT, 0, mesh.normal);
    glTexCoordPointer(2, GL_FLOAT, 0, mesh.texcoord);
    glDrawElements(GL_TRIANGLES, count * face_indices, GL_UNSIGNED_SHORT, indices.data());
    glPopClientAttrib();
}

}  // namespace

const BoxTables& box_tables()
{
    seed_boxes();
    return tables;
}

double box_spread(double t)
{
    // The phase is pi on every call: the first call's box counter (80 x
    // 0.0125 pi), held for all later ones so the field never jumps.
    constexpr double phi = std::numbers::pi;
    return 2.0 * std::cos(0.25 * t + std::numbers::pi / 4.0 + phi);
}

BoxPose box_pose(int box, double t, double spread)
{
    const BoxTables& b = box_tables();
    int m = box % 3;
    double q = 0.125 * std::sin(0.3 * t);
    double size = q + 0.25 * b.scale[box];
    // a = k t pi / 20 feeds sin(a) and cos(0.7 a), whose periods meet after
    // 20 pi, when k t has grown by 400: reducing k t by whole 400s keeps both
    // exact and the angle small however long the show runs.
    double a = std::fmod((0.0125 * box + m) * t, 400.0) * std::numbers::pi / 20.0;
    double turn = std::fmod((0.03125 * box + m) * t * 5.0, 360.0);

    BoxPose pose;
    for (int c = 0; c < 3; ++c)
        pose.translate[c] = static_cast<float>(spread * b.pos[box][c]);
    pose.turn_degrees = static_cast<float>(turn);
    pose.half[0] = static_cast<float>((std::sin(a) + 1.01) * size);
    pose.half[1] = static_cast<float>(1.1 * size);
    pose.half[2] = static_cast<float>((std::cos(0.7 * a) + 1.01) * size);
    return pose;
}

bool box_face_visible(const float n[3], const float p[3], const float m[16])
{
    float dot = 0.0f;
    for (int r = 0; r < 3; ++r) {
        float n_eye = m[r] * n[0] + m[4 + r] * n[1] + m[8 + r] * n[2];
        float p_eye = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
        dot += n_eye * p_eye;
    }
    return dot < 0.0f;
}

bool screen_texcoord(const float p[3], const double modelview[16],
                     const double projection[16], float* s, float* t)
{
    static const GLint unit_viewport[4] = {0, 0, 1, 1};
    double wx, wy, wz;
    if (gluProject(p[0], p[1], p[2], modelview, projection, unit_viewport, &wx, &wy, &wz) != GL_TRUE)
        return false;
    *s = static_cast<float>(wx);
    *t = static_cast<float>(1.0 - wy);
    return true;
}

void box_texcoord(int face, int box, int point, float* s, float* t)
{
    *s = box_texcoords[face][box][point][0];
    *t = box_texcoords[face][box][point][1];
}

void box_draw(float hx, float hy, float hz, int box, bool refresh, const double projection[16])
{
    const float xs[2] = {-hx, hx};
    const float ys[2] = {-hy, hy};
    const float zs[2] = {-hz, hz};

    double modelview[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
    float m[16];
    for (int k = 0; k < 16; ++k)
        m[k] = static_cast<float>(modelview[k]);

    int shown = 0;
    for (int f = 0; f < 6; ++f) {
        const Face& face = faces[f];
        // The test point is the face's centre: the half extent along its normal.
        float test[3] = {face.normal[0] * hx, face.normal[1] * hy, face.normal[2] * hz};
        if (!box_face_visible(face.normal, test, m))
            continue;
        float corners[4][3];
        for (int k = 0; k < 4; ++k) {
            corners[k][0] = xs[face.corner[k][0]];
            corners[k][1] = ys[face.corner[k][1]];
            corners[k][2] = zs[face.corner[k][2]];
        }
        box_face_draw(shown++, corners[0], corners[1], corners[2], corners[3], refresh, box, f,
                      modelview, projection);
    }
    draw_mesh(shown);
}

void box_field(double t, bool refresh)
{
    glPushMatrix();
    seed_boxes();
    glDisable(GL_CULL_FACE);
    double projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);

    // In order, box 0 first: with the depth test passing ties, a later box
    // wins where two meet, so the order is part of the picture.
    double spread = box_spread(t);
    for (int i = 0; i < box_count; ++i) {
        BoxPose pose = box_pose(i, t, spread);
        glPushMatrix();
        glTranslatef(pose.translate[0], pose.translate[1], pose.translate[2]);
        glRotatef(pose.turn_degrees, 0.0f, 1.0f, 0.0f);
        box_draw(pose.half[0], pose.half[1], pose.half[2], i, refresh, projection);
        glPopMatrix();
    }
    glPopMatrix();
}
