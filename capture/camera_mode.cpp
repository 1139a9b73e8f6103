#include "capture/camera_mode.h"

#include "platform/media_pipeline.h"

#include <algorithm>

namespace {

long long area(const CameraMode& m) { return static_cast<long long>(m.width) * m.height; }

bool faster(const CameraMode& a, const CameraMode& b)
{
    return static_cast<long long>(a.rate_num) * b.rate_den > static_cast<long long>(b.rate_num) * a.rate_den;
}

bool full_rate(const CameraMode& m) { return m.rate_num >= 24LL * m.rate_den; }

// Whether a fills the window better than b: covering it beats not; then the
// smaller of two that cover, the larger of two that do not; then raw, then
// the faster.
bool fills_better(const CameraMode& a, const CameraMode& b, int window_width, int window_height)
{
    const bool a_covers = a.width >= window_width && a.height >= window_height;
    const bool b_covers = b.width >= window_width && b.height >= window_height;
    if (a_covers != b_covers)
        return a_covers;
    if (area(a) != area(b))
        return a_covers == (area(a) < area(b));
    if (a.jpeg != b.jpeg)
        return !a.jpeg;
    return faster(a, b);
}

// The best rate a framerate field allows: a fraction, the top of a range or
// the best of a list.
void take_best_rate(const GValue* v, CameraMode* m)
{
    if (!v)
        return;
    if (GST_VALUE_HOLDS_FRACTION(v)) {
        CameraMode r;
        r.rate_num = gst_value_get_fraction_numerator(v);
        r.rate_den = gst_value_get_fraction_denominator(v);
        if (faster(r, *m)) {
            m->rate_num = r.rate_num;
            m->rate_den = r.rate_den;
        }
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(v)) {
        take_best_rate(gst_value_get_fraction_range_max(v), m);
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i)
            take_best_rate(gst_value_list_get_value(v, i), m);
    }
}

// Raw first, then by size.
void sort_for_people(std::vector<CameraMode>* modes)
{
    std::stable_sort(modes->begin(), modes->end(), [](const CameraMode& a, const CameraMode& b) {
        return a.jpeg != b.jpeg ? !a.jpeg : area(a) < area(b);
    });
}

}  // namespace

std::vector<CameraMode> camera_modes_of(const GstCaps* caps)
{
    std::vector<CameraMode> modes;
    for (guint i = 0; caps && i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        CameraMode m;
        m.jpeg = gst_structure_has_name(s, "image/jpeg");
        // Sizes given as ranges (a device that scales) are left out: the
        // pipeline then takes what comes.
        if ((!m.jpeg && !gst_structure_has_name(s, "video/x-raw")) || !gst_structure_get_int(s, "width", &m.width) ||
            !gst_structure_get_int(s, "height", &m.height))
            continue;
        take_best_rate(gst_structure_get_value(s, "framerate"), &m);
        // Raw formats of one size are one offer: the conversion takes any.
        auto same = std::find_if(modes.begin(), modes.end(), [&](const CameraMode& o) {
            return o.width == m.width && o.height == m.height && o.jpeg == m.jpeg;
        });
        if (same == modes.end())
            modes.push_back(m);
        else if (faster(m, *same))
            *same = m;
    }
    return modes;
}

int camera_mode_choose(const std::vector<CameraMode>& offers, int window_width, int window_height)
{
    CameraMode fastest;
    for (const CameraMode& m : offers)
        if (faster(m, fastest))
            fastest = m;
    int pick = -1;
    for (int i = 0; i < static_cast<int>(offers.size()); ++i) {
        const CameraMode& m = offers[i];
        if (full_rate(fastest) ? !full_rate(m) : faster(fastest, m))
            continue;
        if (pick < 0 || fills_better(m, offers[pick], window_width, window_height))
            pick = i;
    }
    return pick;
}

int camera_mode_find(const std::vector<CameraMode>& offers, int width, int height)
{
    int pick = -1;
    for (int i = 0; i < static_cast<int>(offers.size()); ++i) {
        const CameraMode& m = offers[i];
        if (m.width != width || m.height != height)
            continue;
        if (pick < 0 || faster(m, offers[pick]) || (!faster(offers[pick], m) && offers[pick].jpeg && !m.jpeg))
            pick = i;
    }
    return pick;
}

std::string camera_mode_text(const CameraMode& mode)
{
    std::string text = std::to_string(mode.width) + "x" + std::to_string(mode.height) + (mode.jpeg ? " JPEG" : " raw");
    if (mode.rate_num > 0)
        text += " at " + std::to_string(mode.rate_num) + "/" + std::to_string(mode.rate_den);
    return text;
}

std::string camera_mode_caps(const CameraMode& mode)
{
    std::string caps = std::string(mode.jpeg ? "image/jpeg" : "video/x-raw") + ",width=" +
                       std::to_string(mode.width) + ",height=" + std::to_string(mode.height);
    if (mode.rate_num > 0)
        caps += ",framerate=" + std::to_string(mode.rate_num) + "/" + std::to_string(mode.rate_den);
    return caps;
}

std::string camera_modes_text(std::vector<CameraMode> offers)
{
    sort_for_people(&offers);
    std::string text;
    for (const CameraMode& m : offers)
        text += (text.empty() ? "" : ", ") + camera_mode_text(m);
    return text;
}

std::string camera_list_text()
{
    std::string why;
    if (!media_ready(&why))
        return why + "\n";
    GstDeviceMonitor* monitor = gst_device_monitor_new();
    gst_device_monitor_add_filter(monitor, "Video/Source", nullptr);
    GList* devices = gst_device_monitor_get_devices(monitor);
    std::string text;
    std::vector<std::string> paths;
    for (GList* d = devices; d; d = d->next) {
        GstDevice* device = GST_DEVICE(d->data);
        GstStructure* props = gst_device_get_properties(device);
        // Video4Linux names its node one way, PipeWire another; a camera
        // both see is listed once.
        const char* path = props ? gst_structure_get_string(props, "device.path") : nullptr;
        if (!path && props)
            path = gst_structure_get_string(props, "api.v4l2.path");
        if (path && std::find(paths.begin(), paths.end(), path) == paths.end()) {
            paths.emplace_back(path);
            gchar* name = gst_device_get_display_name(device);
            GstCaps* caps = gst_device_get_caps(device);
            std::vector<CameraMode> modes = camera_modes_of(caps);
            sort_for_people(&modes);
            text += std::string(name ? name : "camera") + ": " + path + "\n";
            for (const CameraMode& m : modes)
                text += "  " + camera_mode_text(m) + "\n";
            if (modes.empty())
                text += "  no raw or JPEG size that glowcam can ask for\n";
            if (caps)
                gst_caps_unref(caps);
            g_free(name);
        }
        if (props)
            gst_structure_free(props);
    }
    g_list_free_full(devices, gst_object_unref);
    gst_object_unref(monitor);
    if (paths.empty())
        return "no camera found: GStreamer's device monitor sees no video capture device\n";
    return text + "Choose one with: glowcam --camera /dev/videoN --camera-size WxH\n";
}
