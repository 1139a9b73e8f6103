#include "show/feedback.h"

#include "core/settings.h"
#include "render/overlay.h"
#include "render/texture.h"

#include <GL/gl.h>

#include <cstdlib>

namespace {

GLuint feedback_frame_texture = 0;
GLuint feedback_zoom_texture = 0;
int feedback_tex_width = 0;
int feedback_tex_height = 0;
bool feedback_ready = false;

int grow_to_power_of_two(int size, int at_least)
{
    while (at_least < size)
        at_least *= 2;
    return at_least;
}

// Both textures from one black block: the texels outside the copied regions
// are never written, and the later passes and linear filtering do read them.
void make_textures(int tex_width, int tex_height)
{
    if (feedback_ready) {
        GLuint names[2] = {feedback_frame_texture, feedback_zoom_texture};
        glDeleteTextures(2, names);
    }
    size_t bytes = static_cast<size_t>(tex_width) * static_cast<size_t>(tex_height) * 3;
    unsigned char* block = static_cast<unsigned char*>(std::calloc(bytes, 1));
    feedback_frame_texture = texture_create(block, tex_width, tex_height, false);
    feedback_zoom_texture = texture_create(block, tex_width, tex_height, false);
    glBindTexture(GL_TEXTURE_2D, feedback_zoom_texture);
    std::free(block);
    feedback_tex_width = tex_width;
    feedback_tex_height = tex_height;
    feedback_ready = true;
}

void copy_quarter(int width, int height)
{
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, height / 2, width / 2, height / 2);
}

}  // namespace

void feedback_texture_size(int width, int height, int* tex_width, int* tex_height)
{
    *tex_width = grow_to_power_of_two(width, 1024);
    *tex_height = grow_to_power_of_two(height, width > 480 ? 1024 : 512);
}

FeedbackExtent feedback_extent(int width, int height, int tex_width, int tex_height)
{
    FeedbackExtent e;
    e.uf = width * (1.0f / tex_width);
    e.vf = static_cast<float>(height) / tex_height;
    e.uh = (width * 0.5f) * (1.0f / tex_width);
    e.vh = (height * 0.5f) / tex_height;
    return e;
}

FeedbackPass feedback_pass(int k, float step_x, float step_y, float angle, int width)
{
    // Both pull-ins are divided by the width, so they match in texels on a
    // square texture.
    float scale = static_cast<float>(1 << k);
    return {step_x / width * scale, step_y / width * scale, angle * scale};
}

void feedback_forget_textures()
{
    feedback_frame_texture = 0;
    feedback_zoom_texture = 0;
    feedback_tex_width = 0;
    feedback_tex_height = 0;
    feedback_ready = false;
}

void feedback_zoom(float step_x, float step_y, float angle, float pass_alpha,
                   int passes, float base_alpha)
{
    const int width = screen_width;
    const int height = screen_height;

    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();

    int tex_width, tex_height;
    if (!feedback_ready) {
        feedback_texture_size(width, height, &tex_width, &tex_height);
        make_textures(tex_width, tex_height);
    } else if (width > feedback_tex_width || height > feedback_tex_height) {
        // A window that grew out of the textures would be rebuilt from stale
        // texels; remake them once at the larger size.
        feedback_texture_size(width, height, &tex_width, &tex_height);
        make_textures(tex_width, tex_height);
    }
    const FeedbackExtent e = feedback_extent(width, height, feedback_tex_width, feedback_tex_height);

    glDisable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    ortho_begin(0.0f, 0.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);

    // Grab the frame, then shrink it, upright, into the top-left quarter.
    glBindTexture(GL_TEXTURE_2D, feedback_frame_texture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
    glEnable(GL_BLEND);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.5f, 0.0f);
    glTexCoord2f(e.uf, 0.0f);
    glVertex3f(0.5f, 0.5f, 0.0f);
    glTexCoord2f(e.uf, e.vf);
    glVertex3f(0.5f, 0.0f, 0.0f);
    glTexCoord2f(0.0f, e.vf);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glEnd();

    glBindTexture(GL_TEXTURE_2D, feedback_zoom_texture);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // Each pass copies the quarter as it now stands and lays a zoomed, turned
    // copy over it, so the magnifications compound into streaks.
    for (int k = 0; k < passes; ++k) {
        const FeedbackPass pass = feedback_pass(k, step_x, step_y, angle, width);
        copy_quarter(width, height);
        glColor4f(1.0f, 1.0f, 1.0f, pass_alpha);
        glMatrixMode(GL_TEXTURE);
        glPushMatrix();
        glTranslatef(e.uh * 0.5f, e.vh * 0.5f, 0.0f);
        glRotatef(pass.angle, 1.0f, 0.0f, 1.0f);
        glTranslatef(-e.uh * 0.5f, -e.vh * 0.5f, 0.0f);
        glBegin(GL_QUADS);
        glTexCoord2f(pass.du, pass.dv);
        glVertex3f(0.0f, 0.5f, 0.0f);
        glTexCoord2f(e.uh - pass.du, pass.dv);
        glVertex3f(0.5f, 0.5f, 0.0f);
        glTexCoord2f(e.uh - pass.du, e.vh - pass.dv);
        glVertex3f(0.5f, 0.0f, 0.0f);
        glTexCoord2f(pass.du, e.vh - pass.dv);
        glVertex3f(0.0f, 0.0f, 0.0f);
        glEnd();
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    copy_quarter(width, height);

    // Base layer: the whole screen becomes base_alpha x the grabbed frame;
    // then the finished quarter, enlarged, is added on top.
    glBlendFunc(GL_SRC_ALPHA, GL_ZERO);
    glColor4f(1.0f, 1.0f, 1.0f, base_alpha);
    glBindTexture(GL_TEXTURE_2D, feedback_frame_texture);
    textured_quad(0.0f, 0.0f, e.uf, e.vf);
    glBindTexture(GL_TEXTURE_2D, feedback_zoom_texture);
    glBlendFunc(GL_ONE, GL_ONE);
    textured_quad(0.0f, 0.0f, e.uh, e.vh);

    ortho_end();
    glPopMatrix();
    glPopAttrib();
}
