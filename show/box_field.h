#pragma once

// Eighty boxes drifting about the origin, each face a subdivided grid whose
// texture coordinates are the face's own position on screen: while refresh is
// set the faces show the texture that lies behind them, while it is clear they
// keep the coordinates they had and carry that picture away.

constexpr int box_count = 80;
constexpr int box_grid = 9;  // points per side of a face's grid (8 x 8 cells)
constexpr int box_grid_points = box_grid * box_grid;

// The layout drawn from the shared generator with seed 143 on first use.
struct BoxTables {
    float pos[box_count][3];  // each coordinate in [-2, 2]
    float scale[box_count];   // in [0.5, 2.5]
};
const BoxTables& box_tables();

// Where box i is and how it is shaped at effect clock t. No GL.
struct BoxPose {
    float translate[3];
    float turn_degrees;  // about the y axis
    float half[3];       // hx, hy, hz
};
// Spread factor S of the whole field at effect clock t, between -2 and 2.
double box_spread(double t);
BoxPose box_pose(int box, double t, double spread);

// True when the face with outward normal n through point p, under the
// column-major modelview matrix m, turns towards the eye. Edge-on is hidden.
bool box_face_visible(const float n[3], const float p[3], const float m[16]);

// Projects p through gluProject with the viewport (0, 0, 1, 1): s from 0 at
// the left to 1 at the right, t from 0 at the top to 1 at the bottom. False
// when the point cannot be projected (it lies in the plane of the eye).
bool screen_texcoord(const float p[3], const double modelview[16],
                     const double projection[16], float* s, float* t);

// The cached texture coordinate of grid point (row x 9 + column) of a face.
void box_texcoord(int face, int box, int point, float* s, float* t);

// Draws the field under the current modelview matrix with the bound texture,
// lights and fog as the caller set them. Leaves the modelview stack as found.
void box_field(double t, bool refresh);

// One box centred on the current origin, its visible faces in one indexed
// draw; reads the modelview matrix once. projection is the matrix the faces'
// screen positions are taken under while refresh is set.
void box_draw(float hx, float hy, float hz, int box, bool refresh, const double projection[16]);

