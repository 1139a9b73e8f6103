#include "show/box_field.h"

#include "app/rng.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <numbers>

namespace {

BoxTables tables;
bool boxes_seeded = false;

// Face, box, grid point: zero at start, so a face never refreshed shows (0, 0).
float box_texcoords[6][box_count][box_grid_points][2];

// The matrices the current box is drawn under, read once per box (modelview)
// and once per field (projection) rather than once per grid point.
double current_modelview[16];
double current_projection[16];

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

void box_face_draw(const float p1[3], const float p2[3], const float p3[3],
                   const float p4[3], bool refresh, int box, int face)
{
    float (*cache)[2] = box_texcoords[face][box];
    float grid[box_grid_points][3];

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
                if (screen_texcoord(point, current_modelview, current_projection, &s, &t)) {
                    cache[r * box_grid + j][0] = s;
                    cache[r * box_grid + j][1] = t;
                }
            }
        }
    }

    for (int r = 0; r < box_grid - 1; ++r) {
        glBegin(GL_QUAD_STRIP);
        for (int j = 0; j < box_grid; ++j) {
            int upper = (r + 1) * box_grid + j;
            int lower = r * box_grid + j;
            glTexCoord2fv(cache[upper]);
            glVertex3fv(grid[upper]);
            glTexCoord2fv(cache[lower]);
            glVertex3fv(grid[lower]);
        }
        glEnd();
    }
}

void box_draw(float hx, float hy, float hz, int box, bool refresh)
{
    const float xs[2] = {-hx, hx};
    const float ys[2] = {-hy, hy};
    const float zs[2] = {-hz, hz};

    glGetDoublev(GL_MODELVIEW_MATRIX, current_modelview);
    float m[16];
    for (int k = 0; k < 16; ++k)
        m[k] = static_cast<float>(current_modelview[k]);

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
        glNormal3fv(face.normal);
        box_face_draw(corners[0], corners[1], corners[2], corners[3], refresh, box, f);
    }
}

void box_field(double t, bool refresh)
{
    glPushMatrix();
    seed_boxes();
    glDisable(GL_CULL_FACE);
    glGetDoublev(GL_PROJECTION_MATRIX, current_projection);
    // In order, box 0 first: with the depth test passing ties, a later box
    // wins where two meet, so the order is part of the picture.
    double spread = box_spread(t);
    for (int i = 0; i < box_count; ++i) {
        BoxPose pose = box_pose(i, t, spread);
        glPushMatrix();
        glTranslatef(pose.translate[0], pose.translate[1], pose.translate[2]);
        glRotatef(pose.turn_degrees, 0.0f, 1.0f, 0.0f);
        box_draw(pose.half[0], pose.half[1], pose.half[2], i, refresh);
        glPopMatrix();
    }
    glPopMatrix();
}
