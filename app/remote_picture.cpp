#include "app/remote.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>

namespace {
constexpr int preview_width = 320;
}  // namespace

bool remote_preview_jpeg(const unsigned char* rgb, int width, int height, std::string* jpeg)
{
    if (width <= 0 || height <= 0)
        return false;
    // GL's rows run bottom first: the picture is turned upright once it is
    // small.
    GdkPixbuf* frame = gdk_pixbuf_new_from_data(const_cast<unsigned char*>(rgb), GDK_COLORSPACE_RGB, FALSE, 8, width,
                                                height, width * 3, nullptr, nullptr);
    const int h = std::max(1, height * preview_width / width);
    GdkPixbuf* small = gdk_pixbuf_scale_simple(frame, preview_width, h, GDK_INTERP_BILINEAR);
    GdkPixbuf* upright = small ? gdk_pixbuf_flip(small, FALSE) : nullptr;
    gchar* data = nullptr;
    gsize size = 0;
    const bool ok = upright && gdk_pixbuf_save_to_buffer(upright, &data, &size, "jpeg", nullptr, "quality", "75",
                                                         nullptr);
    if (ok)
        jpeg->assign(data, size);
    g_free(data);
    for (GdkPixbuf* p : {frame, small, upright})
        if (p)
            g_object_unref(p);
    return ok;
}
