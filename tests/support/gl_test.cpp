#include "tests/support/gl_test.h"

#include "core/settings.h"
#include "platform/window.h"

#include <GL/gl.h>
#include <SDL.h>

#include <cstdlib>

void GlTest::SetUp() { reopen(width, height); }

void GlTest::TearDown() { window_destroy(); }

void GlTest::reopen(int w, int h)
{
    window_destroy();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_TRUE(window_create("test", w, h, 32, false, 0)) << SDL_GetError();
    // The settings as the program's window_open leaves them.
    screen_width = w, screen_height = h, fullscreen = false;
}

std::vector<uint8_t> read_rgb(int w, int h)
{
    std::vector<uint8_t> out(static_cast<size_t>(w) * h * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, out.data());
    return out;
}

Rgb pixel_at(int x, int y)
{
    const std::vector<uint8_t> all = read_rgb(screen_width, screen_height);
    const uint8_t* p = &all[(static_cast<size_t>(screen_height - 1 - y) * screen_width + x) * 3];
    return {p[0], p[1], p[2]};
}

StackDepths stack_depths()
{
    StackDepths d{};
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &d.modelview);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &d.projection);
    glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &d.texture);
    glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &d.attrib);
    return d;
}

::testing::AssertionResult near_rgb(Rgb got, Rgb want, int tolerance)
{
    if (std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
        std::abs(got.b - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want ("
                                         << want.r << ", " << want.g << ", " << want.b << ") within " << tolerance;
}
