#include "render/frame_readback.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace {

struct FrameReadback {
    int width = 0;
    int height = 0;
    GLuint buffer = 0;
    bool started = false;
};

FrameReadback readback;

GLsizeiptr frame_bytes()
{
    return static_cast<GLsizeiptr>(readback.width) * readback.height * 3;
}

}  // namespace

void frame_readback_open(int width, int height)
{
    readback = FrameReadback{};
    readback.width = width;
    readback.height = height;
    GLint bound = 0;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    glGenBuffers(1, &readback.buffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readback.buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, frame_bytes(), nullptr, GL_STREAM_READ);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(bound));
}

void frame_readback_start()
{
    GLint pack = 4, read = GL_BACK, bound = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glGetIntegerv(GL_READ_BUFFER, &read);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    // With a pack buffer bound, glReadPixels only queues the copy.
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readback.buffer);
    glReadPixels(0, 0, readback.width, readback.height, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(bound));
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    glReadBuffer(static_cast<GLenum>(read));
    readback.started = true;
}

bool frame_readback_take(unsigned char* rgb)
{
    if (!readback.started)
        return false;
    readback.started = false;
    GLint bound = 0;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &bound);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, readback.buffer);
    const void* mapped = glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
    if (mapped)
        std::memcpy(rgb, mapped, static_cast<size_t>(frame_bytes()));
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(bound));
    return mapped != nullptr;
}
