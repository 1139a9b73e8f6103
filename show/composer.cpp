#include "show/composer.h"

#include "audio/audio.h"
#include "capture/capture.h"
#include "core/clock.h"
#include "core/envelope.h"
#include "core/settings.h"
#include "render/gl_state.h"
#include "render/overlay.h"
#include "show/actions.h"
#include "show/box_field.h"
#include "show/feedback.h"
#include "show/kaleidoscope.h"
#include "show/ripple.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <numbers>

int frame_mode = 0;

namespace {
constexpr double pi = std::numbers::pi;
}

double spow(double x, double e)
{
    if (x == 0.0)
        return 0.0;
    if (e == 0.0)
        return 1.0;
    return x > 0.0 ? std::pow(x, e) : -std::pow(-x, e);
}

PictureCut picture_cut(int frame_width, int frame_height, int view_width, int view_height)
{
    PictureCut cut{0.0f, 0.0f, 1.0f, 1.0f};
    if (frame_width <= 0 || frame_height <= 0 || view_width <= 0 || view_height <= 0)
        return cut;
    const double frame_shape = static_cast<double>(frame_width) / frame_height;
    const double view_shape = static_cast<double>(view_width) / view_height;
    if (frame_shape > view_shape)
        cut.s_span = static_cast<float>(view_shape / frame_shape);
    else
        cut.t_span = static_cast<float>(frame_shape / view_shape);
    cut.s0 = (1.0f - cut.s_span) * 0.5f;
    cut.t0 = (1.0f - cut.t_span) * 0.5f;
    return cut;
}

FrameStart frame_begin()
{
    FrameStart f;
    f.t = show_time_ms() * 0.001;
    f.mode = play_mode(f.t);
    frame_mode = f.mode;

    double p = std::fmod(f.t * 0.05, 1.0);
    if (p >= 0.5) {
        env_trigger(1, 10000, 2.0f, false);
        f.box_refresh = false;
    } else {
        f.box_refresh = true;
    }
    env_trigger(0, 15000, 1.0f, false);
    // The read lets slot 0 notice its own end, so the next frame restarts it.
    env_value(0);

    f.bass = 3.0 * spectrum[1].load(std::memory_order_relaxed) * play_sensitivity();
    return f;
}

void camera_eye(double t, double eye[3])
{
    double r = (std::sin(0.3 * t) + 1.0) * 0.5 * 3.0 + 6.0;
    eye[0] = r * std::sin(0.06 * t);
    eye[1] = 3.0 * std::sin(pi * std::sin(0.1 * t));
    eye[2] = r * std::cos(0.06 * t);
}

double invert_strength(double e0) { return std::pow(std::sin(pi * e0), 5.0); }

double feedback_pass_alpha(double e1, double bass)
{
    return (std::sin(pi * e1 * e1) + 1.0) * 0.5 * bass * 0.6;
}

double feedback_angle(double e1) { return 3.0 * std::sin(2.0 * pi * e1); }

double reverb_time_ms(double e1) { return spow(std::sin(pi * e1), 0.5) * 2200.0 + 800.0; }

void compose_frame()
{
    const FrameStart f = frame_begin();

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, video_texture);

    // Texture coordinates 0 to 1 address the filled part of the power-of-two
    // video texture, cut to the window's shape. Without video every size is 0 and texture 0 draws the
    // layers plain white.
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    if (video_tex_width > 0 && video_tex_height > 0) {
        glScalef(static_cast<float>(video_width) / static_cast<float>(video_tex_width),
                 static_cast<float>(video_height) / static_cast<float>(video_tex_height), 1.0f);
        const PictureCut cut = picture_cut(video_width, video_height, screen_width, screen_height);
        glTranslatef(cut.s0, cut.t0, 0.0f);
        glScalef(cut.s_span, cut.t_span, 1.0f);
    }

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glLoadIdentity();
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

    if (f.mode == 2) {
        ripple_warp(f.t, static_cast<float>(f.bass));
    } else if (f.mode == 0) {
        textured_quad(0.0f, 1.0f, 1.0f, 0.0f);
        double eye[3];
        camera_eye(f.t, eye);
        gluLookAt(eye[0], eye[1], eye[2], 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);
        fog_enable();
        fog_set_color(0.5f, 0.5f, 0.5f, 1.0f);
        fog_set_range(1.0f, 28.0f);
        box_field(f.t * 0.2, f.box_refresh);
        fog_disable();
    } else {
        glDisable(GL_LIGHTING);
        fog_disable();
        glColor3f(1.0f, 1.0f, 1.0f);
        kaleidoscope(f.t * 0.5);
    }

    glMatrixMode(GL_TEXTURE);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glShadeModel(GL_FLAT);

    if (f.mode == 0)
        invert_overlay(static_cast<float>(invert_strength(env_value(0))));

    double pass_alpha = feedback_pass_alpha(env_value(1), f.bass);
    double angle = feedback_angle(env_value(1));
    feedback_zoom(2.0f, 2.0f, static_cast<float>(angle), static_cast<float>(pass_alpha), 6, 0.25f);

    set_reverb_time(static_cast<float>(reverb_time_ms(env_value(1))));
    black_overlay(play_blackout_level(f.t));

    glShadeModel(GL_SMOOTH);
    glFlush();
    glPopAttrib();
}
