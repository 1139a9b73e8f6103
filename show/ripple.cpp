#include "show/ripple.h"

#include "render/overlay.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Where the offset from the centre is divided by d, d must stay clear of 0:
// strong bass would otherwise divide by zero or fold the picture over.
constexpr double min_divisor = 0.05;

// Lattice and screen positions are stepped in single precision, as a running
// sum, so rows and columns of both land on the same values.
template <int N>
void stepped(float (&out)[N], float start, float step)
{
    float v = start;
    for (float& o : out) {
        o = v;
        v += step;
    }
}

}  // namespace

void ripple_lattice(double time, float strength, RippleLattice* out)
{
    // The lattice frame is 8/3 wide and 2 high; both axes are stepped in
    // single precision so the rows and columns land where the screen quads do.
    float xs[ripple_columns];
    float ys[ripple_rows];
    stepped(xs, -1.3333334f, 0.033333335f);
    stepped(ys, 1.0f, -0.04f);

    // The rings repeat every 0.5 of time; reducing the time first keeps the
    // phase exact in a show that has run for weeks.
    double phase_time = std::fmod(time, 0.5);
    double a = 0.25 * strength;
    for (int k = 0; k < ripple_columns; ++k) {
        double px = xs[k];
        for (int r = 0; r < ripple_rows; ++r) {
            double py = ys[r];
            double d = 1.0 + a * std::sin(4.0 * std::numbers::pi * (px * px + py * py - phase_time));
            d = std::max(d, min_divisor);
            out->s[k][r] = static_cast<float>(0.5 * (0.75 * px / d + 1.0));
            out->t[k][r] = static_cast<float>(1.0 - 0.5 * (py / d + 1.0));
        }
    }
}

void ripple_warp(double time, float strength)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    static RippleLattice lattice;  // 33 KB: kept off the stack, rebuilt every call
    ripple_lattice(time, strength, &lattice);

    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    ortho_begin(0.0f, 0.0f, 1.0f, 1.0f);

    float xs[ripple_columns];
    float ys[ripple_rows];
    stepped(xs, 0.0f, 0.0125f);
    stepped(ys, 0.0f, 0.02f);

    glBegin(GL_QUADS);
    for (int r = 0; r < ripple_rows - 1; ++r) {
        for (int k = 0; k < ripple_columns - 1; ++k) {
            glTexCoord2f(lattice.s[k][r], lattice.t[k][r]);
            glVertex2f(xs[k], ys[r]);
            glTexCoord2f(lattice.s[k][r + 1], lattice.t[k][r + 1]);
            glVertex2f(xs[k], ys[r + 1]);
            glTexCoord2f(lattice.s[k + 1][r + 1], lattice.t[k + 1][r + 1]);
            glVertex2f(xs[k + 1], ys[r + 1]);
            glTexCoord2f(lattice.s[k + 1][r], lattice.t[k + 1][r]);
            glVertex2f(xs[k + 1], ys[r]);
        }
    }
    glEnd();

    ortho_end();
    glPopAttrib();
}
