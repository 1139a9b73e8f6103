#include "capture/source.h"

namespace {

std::size_t plane_need(std::size_t stride, std::size_t row_bytes, std::size_t rows)
{
    return rows == 0 ? 0 : stride * (rows - 1) + row_bytes;
}

std::size_t remaining(std::size_t size, std::size_t offset) { return size > offset ? size - offset : 0; }

}  // namespace

std::size_t i420_frame_bytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    std::size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    return w * h + 2 * cw * ch;
}

CaptureFrame capture_frame_i420(const unsigned char* data, std::size_t size, int width, int height)
{
    CaptureFrame f;
    f.width = width;
    f.height = height;
    if (width <= 0 || height <= 0)
        return f;
    std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    std::size_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    std::size_t u_at = w * h, v_at = u_at + cw * ch;
    // Plane pointers past the data are never formed: such planes get size 0.
    f.planes[0] = data;
    f.planes[1] = size > u_at ? data + u_at : data;
    f.planes[2] = size > v_at ? data + v_at : data;
    f.strides[0] = width;
    f.strides[1] = f.strides[2] = static_cast<int>(cw);
    f.sizes[0] = size;
    f.sizes[1] = remaining(size, u_at);
    f.sizes[2] = remaining(size, v_at);
    return f;
}

bool capture_frame_complete(const CaptureFrame& f)
{
    if (f.width <= 0 || f.height <= 0)
        return false;
    std::size_t w = static_cast<std::size_t>(f.width), h = static_cast<std::size_t>(f.height);
    const std::size_t row_bytes[3] = {w, (w + 1) / 2, (w + 1) / 2};
    const std::size_t rows[3] = {h, (h + 1) / 2, (h + 1) / 2};
    for (int p = 0; p < 3; ++p) {
        if (!f.planes[p] || f.strides[p] < 0 || static_cast<std::size_t>(f.strides[p]) < row_bytes[p])
            return false;
        if (f.sizes[p] < plane_need(static_cast<std::size_t>(f.strides[p]), row_bytes[p], rows[p]))
            return false;
    }
    return true;
}
