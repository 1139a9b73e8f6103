#pragma once

// 2D drawing over the 3D view, in the unit screen frame: x from 0 (left) to 1
// (right), y from 0 (top) to 1 (bottom).

void ortho_begin(float left, float top, float right, float bottom);
void ortho_end();

// The bound texture over the whole screen: (s0, t0) at the bottom-left
// corner, (s1, t1) at the top-right.
void textured_quad(float s0, float t0, float s1, float t1);

// Turns the picture towards its negative: 0 keeps it, 0.5 flat grey, 1 the
// exact negative.
void invert_overlay(float strength);

// Darkens the picture towards black: 0 keeps it, 1 is black.
void black_overlay(float level);
