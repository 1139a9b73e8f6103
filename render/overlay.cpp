#include "render/overlay.h"

#include <GL/gl.h>

void ortho_begin(float left, float top, float right, float bottom)
{
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(left, right, bottom, top, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
}

void ortho_end()
{
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void textured_quad(float s0, float t0, float s1, float t1)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    ortho_begin(0.0f, 0.0f, 1.0f, 1.0f);
    // Counter-clockwise on screen, so back-face culling keeps it.
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex3f(0.0f, 1.0f, 0.0f);
    glTexCoord2f(s1, t0);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(s1, t1);
    glVertex3f(1.0f, 0.0f, 0.0f);
    glTexCoord2f(s0, t1);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glEnd();
    ortho_end();
    glPopMatrix();
    glPopAttrib();
}

namespace {

// One flat colour over the whole screen, blended with the picture by the
// factors given; the GL state is as it was afterwards.
void flat_overlay(GLenum source, GLenum destination, float r, float g, float b, float a)
{
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    ortho_begin(0.0f, 0.0f, 1.0f, 1.0f);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(source, destination);
    glColor4f(r, g, b, a);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_QUADS);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 1.0f, 0.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glVertex3f(1.0f, 0.0f, 0.0f);
    glEnd();
    ortho_end();
    glPopAttrib();
}

}  // namespace

void invert_overlay(float strength)
{
    // v(1 - d) + d(1 - v): 0 keeps, 0.5 greys, 1 inverts.
    if (strength > 0.0f)
        flat_overlay(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR, strength, strength, strength, 1.0f);
}

void black_overlay(float level)
{
    if (level > 0.0f)
        flat_overlay(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0.0f, 0.0f, 0.0f, level);
}
