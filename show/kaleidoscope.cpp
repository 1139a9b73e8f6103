#include "show/kaleidoscope.h"

#include "core/settings.h"
#include "render/overlay.h"

#include <GL/gl.h>

#include <cmath>
#include <numbers>

// 0.78 x sqrt(3) / 2 and 0.78 x sqrt(3): the half height of the hexagon and the
// distance between the centres of two hexagons that share an edge.
const HexPoint hex_rim[6] = {
    {0.78f, 0.0f},   {0.39f, 0.67549979f},   {-0.39f, 0.67549979f},
    {-0.78f, 0.0f},  {-0.39f, -0.67549979f}, {0.39f, -0.67549979f},
};

const HexPoint hex_ring[6] = {
    {1.17f, -0.67549979f}, {1.17f, 0.67549979f},   {0.0f, 1.35099958f},
    {-1.17f, 0.67549979f}, {-1.17f, -0.67549979f}, {0.0f, -1.35099958f},
};

void kaleidoscope_triangle(double t, float tri[3][2])
{
    // The triangle comes back to itself after 24 units of t; reducing first
    // keeps the angle exact however long the show has run.
    double b = std::fmod(t, 24.0) * std::numbers::pi / 12.0;
    for (int k = 0; k < 3; ++k) {
        double a = b + k * 2.0 * std::numbers::pi / 3.0;
        tri[k][0] = static_cast<float>(0.5 + 0.5 * std::cos(a));
        tri[k][1] = static_cast<float>(0.5 + 0.5 * std::sin(a));
    }
}

namespace {

void hexagon(const float tri[3][2])
{
    glBegin(GL_TRIANGLE_FAN);
    glTexCoord2fv(tri[0]);
    glVertex2f(0.0f, 0.0f);
    // Alternating T2 and T1 around the rim mirrors each triangle onto its
    // neighbour, and every hexagon gives shared corners the same coordinates,
    // so the seven join without seams.
    for (int j = 0; j <= 6; ++j) {
        glTexCoord2fv(tri[j % 2 == 0 ? 2 : 1]);
        glVertex2f(hex_rim[j % 6].x, hex_rim[j % 6].y);
    }
    glEnd();
}

}  // namespace

void kaleidoscope(double t)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glBlendFunc(GL_ONE, GL_ZERO);

    float aspect = static_cast<float>(screen_width) / static_cast<float>(screen_height);
    ortho_begin(-aspect, -1.0f, aspect, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    glPushMatrix();
    glLoadIdentity();
    glRotatef(static_cast<float>(std::fmod(6.0 * t, 360.0)), 0.0f, 0.0f, 1.0f);

    float tri[3][2];
    kaleidoscope_triangle(t, tri);
    hexagon(tri);
    for (const HexPoint& offset : hex_ring) {
        glPushMatrix();
        glTranslatef(offset.x, offset.y, 0.0f);
        hexagon(tri);
        glPopMatrix();
    }

    glPopMatrix();
    ortho_end();
    glPopAttrib();
}
