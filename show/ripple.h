#pragma once

// The bound texture over the whole screen, rippling in rings that spread from
// the centre: a lattice of 81 x 51 points whose texture coordinates are pulled
// towards or pushed away from the centre by a travelling sine.

constexpr int ripple_columns = 81;
constexpr int ripple_rows = 51;

// Texture coordinates of every lattice point, indexed by column then row.
// Column 0 is the left edge of the screen, row 0 the top edge.
struct RippleLattice {
    float s[ripple_columns][ripple_rows];
    float t[ripple_columns][ripple_rows];
};

// Fills the lattice for this time and strength. No GL.
void ripple_lattice(double time, float strength, RippleLattice* out);

// Draws the warp with the caller's texture, texture matrix, colour and blend.
// Leaves all GL state as found.
void ripple_warp(double time, float strength);
