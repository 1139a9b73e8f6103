#pragma once

// A hexagonal mirror kaleidoscope of the bound texture over the whole screen:
// seven hexagons (one in the middle, six around it), each made of six mirrored
// copies of one triangle of the texture.

struct HexPoint {
    float x, y;
};

// Corners of a hexagon of circumradius 0.78 at k x 60 degrees.
extern const HexPoint hex_rim[6];
// Centres of the six neighbouring hexagons at k x 60 - 30 degrees.
extern const HexPoint hex_ring[6];

// The texture triangle T0..T2 for the effect clock t: an equilateral triangle
// inscribed in the circle of radius 0.5 about (0.5, 0.5), turning pi/12 per
// unit of t. No GL.
void kaleidoscope_triangle(double t, float tri[3][2]);

// Draws the kaleidoscope with the texture and texture matrix the caller has
// set; the cluster turns 6 degrees per unit of t. Leaves all GL state as found.
void kaleidoscope(double t);
