#include "render/png_write.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct PngError {
    std::string message;
};

[[noreturn]] void on_png_error(png_structp png, png_const_charp message)
{
    static_cast<PngError*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// Everything that touches libpng's longjmp lives here, with no objects that
// need destructors, so a jump out leaves nothing unwound.
bool encode(std::FILE* file, png_bytep* rows, int width, int height, PngError* err)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, err, on_png_error,
                                              on_png_warning);
    if (!png) {
        err->message = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        err->message = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Frames are written while the show renders: a fast setting keeps the
    // encoder from dominating, and the output is the same on every run.
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool png_write_rgb(const std::string& path, const unsigned char* pixels, int width,
                   int height, bool bottom_up, std::string* error)
{
    if (width <= 0 || height <= 0) {
        *error = "empty picture";
        return false;
    }
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        int source = bottom_up ? height - 1 - y : y;
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(pixels + stride * static_cast<size_t>(source));
    }

    std::string part = path + ".part";
    std::FILE* file = std::fopen(part.c_str(), "wb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    PngError err;
    bool ok = encode(file, rows.data(), width, height, &err);
    if (!ok)
        *error = err.message;
    if (std::fflush(file) != 0 && ok) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (std::fclose(file) != 0 && ok) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
        *error = std::strerror(errno);
        ok = false;
    }
    if (!ok)
        std::remove(part.c_str());
    return ok;
}

PngWriter::~PngWriter()
{
    std::string ignored;
    finish(&ignored);
}

bool PngWriter::start(const std::string& path, std::vector<unsigned char>* pixels, int width,
                      int height, bool bottom_up, std::string* error)
{
    if (!finish(error))
        return false;
    buffer_.swap(*pixels);
    pending_ = std::async(std::launch::async, [this, path, width, height, bottom_up] {
        return png_write_rgb(path, buffer_.data(), width, height, bottom_up, &pending_error_);
    });
    return true;
}

bool PngWriter::finish(std::string* error)
{
    if (!pending_.valid())
        return true;
    if (pending_.get())
        return true;
    *error = pending_error_;
    return false;
}
