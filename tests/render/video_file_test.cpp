#include "render/video_file.h"

#include <gtest/gtest.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int W = 320, H = 240, rate = 44100;

struct TempDir {
    std::string path;
    TempDir()
    {
        char pattern[] = "/tmp/glowcam-video-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

// Frame i, bottom row first as GL gives it: a vertical ramp (bright at the
// top of the picture) with a bar that moves, so order and orientation show.
std::vector<unsigned char> picture(int i)
{
    std::vector<unsigned char> px(W * H * 3);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            unsigned char* p = &px[(y * W + x) * 3];
            bool bar = std::abs(x - (i * 4) % W) < 12;
            p[0] = static_cast<unsigned char>(y * 255 / H);
            p[1] = bar ? 230 : 40;
            p[2] = static_cast<unsigned char>(x * 255 / W);
        }
    return px;
}

// Pushes a render: frames at i / fps and the music up to each frame's end.
void render(const std::string& path, double seconds, int audio_rate)
{
    VideoFileSettings s;
    s.path = path;
    s.width = W;
    s.height = H;
    s.fps = 30.0;
    s.audio_rate = audio_rate;
    std::string error;
    VideoFile* file = video_file_open(s, &error);
    ASSERT_NE(file, nullptr) << error;
    long long played = 0;
    for (int i = 0; i < std::lround(seconds * 30); ++i) {
        std::vector<float> music(2 * video_file_audio_wanted(file, (i + 1) / 30.0));
        for (size_t k = 0; k < music.size(); k += 2, ++played)
            music[k] = music[k + 1] = 0.5f * std::sin(2.0 * M_PI * 440.0 * played / audio_rate);
        ASSERT_TRUE(video_file_push_audio(file, music.data(), music.size() / 2));
        ASSERT_TRUE(video_file_push_frame(file, picture(i).data(), i / 30.0));
    }
    ASSERT_TRUE(video_file_close(file, &error)) << error;
}

struct Decoded {
    int frames = 0;
    double audio_seconds = 0.0;
    std::vector<unsigned char> first;  // RGB, top row first, rows of W * 3
    bool clean_end = false;            // EOS rather than an error
};

// Decodes a file with a pipeline of its own: VP8 video and, when asked, the
// Opus track. A wrong codec does not link and ends in an error.
Decoded decode(const std::string& path, bool audio)
{
    std::string d = "filesrc name=src ! matroskademux name=d d.video_0 ! queue ! vp8dec ! videoconvert"
                    " ! video/x-raw,format=RGB ! appsink name=v sync=false wait-on-eos=false";
    if (audio)
        d += " d.audio_0 ! queue ! opusdec ! audioconvert ! audio/x-raw,format=F32LE,channels=2"
             " ! appsink name=a sync=false wait-on-eos=false";
    GstElement* pipeline = gst_parse_launch(d.c_str(), nullptr);
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    g_object_set(src, "location", path.c_str(), nullptr);
    gst_object_unref(src);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    Decoded out;
    out.clean_end = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end)
        gst_message_unref(end);
    GstAppSink* v = GST_APP_SINK(gst_bin_get_by_name(GST_BIN(pipeline), "v"));
    while (GstSample* s = gst_app_sink_try_pull_sample(v, 0)) {
        if (out.frames++ == 0) {
            GstMapInfo map;
            GstBuffer* b = gst_sample_get_buffer(s);
            gst_buffer_map(b, &map, GST_MAP_READ);
            for (int y = 0; y < H; ++y)
                out.first.insert(out.first.end(), map.data + y * W * 3, map.data + (y + 1) * W * 3);
            gst_buffer_unmap(b, &map);
        }
        gst_sample_unref(s);
    }
    gst_object_unref(v);
    if (audio) {
        GstAppSink* a = GST_APP_SINK(gst_bin_get_by_name(GST_BIN(pipeline), "a"));
        while (GstSample* s = gst_app_sink_try_pull_sample(a, 0)) {
            out.audio_seconds += gst_buffer_get_size(gst_sample_get_buffer(s)) / 8.0 / 48000.0;
            gst_sample_unref(s);
        }
        gst_object_unref(a);
    }
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return out;
}

struct Discovered {
    double seconds = 0.0;
    std::string container, video, audio;  // caps names; audio empty without a track
    int width = 0, height = 0;
};

Discovered discover(const std::string& path)
{
    Discovered out;
    GstDiscoverer* disc = gst_discoverer_new(20 * GST_SECOND, nullptr);
    gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
    GstDiscovererInfo* info = gst_discoverer_discover_uri(disc, uri, nullptr);
    g_free(uri);
    if (!info) {
        g_object_unref(disc);
        return out;
    }
    out.seconds = gst_discoverer_info_get_duration(info) / 1e9;
    auto caps_name = [](GstDiscovererStreamInfo* stream) {
        GstCaps* caps = gst_discoverer_stream_info_get_caps(stream);
        std::string name = gst_structure_get_name(gst_caps_get_structure(caps, 0));
        gst_caps_unref(caps);
        return name;
    };
    GstDiscovererStreamInfo* top = gst_discoverer_info_get_stream_info(info);
    out.container = caps_name(top);
    gst_discoverer_stream_info_unref(top);
    GList* videos = gst_discoverer_info_get_video_streams(info);
    if (videos) {
        auto* v = static_cast<GstDiscovererVideoInfo*>(videos->data);
        out.video = caps_name(GST_DISCOVERER_STREAM_INFO(v));
        out.width = static_cast<int>(gst_discoverer_video_info_get_width(v));
        out.height = static_cast<int>(gst_discoverer_video_info_get_height(v));
    }
    GList* audios = gst_discoverer_info_get_audio_streams(info);
    if (audios)
        out.audio = caps_name(GST_DISCOVERER_STREAM_INFO(audios->data));
    gst_discoverer_stream_info_list_free(videos);
    gst_discoverer_stream_info_list_free(audios);
    gst_discoverer_info_unref(info);
    g_object_unref(disc);
    return out;
}

std::string bytes_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class VideoFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
    TempDir dir;
};

TEST_F(VideoFileTest, RenderHoldsEveryFrameAndTheMusicAndRepeatsByteForByte)
{
    const std::string a = dir.path + "/a.webm", b = dir.path + "/b.webm";
    render(a, 2.0, rate);
    render(b, 2.0, rate);
    std::string bytes = bytes_of(a);
    ASSERT_GT(bytes.size(), 10000u);
    EXPECT_TRUE(bytes == bytes_of(b)) << "two renders of the same input differ";

    Discovered info = discover(a);
    EXPECT_EQ(info.container, "video/webm");
    EXPECT_EQ(info.video, "video/x-vp8");
    EXPECT_EQ(info.audio, "audio/x-opus");
    EXPECT_EQ(info.width, W);
    EXPECT_EQ(info.height, H);
    EXPECT_NEAR(info.seconds, 2.0, 0.05);

    Decoded d = decode(a, true);
    EXPECT_TRUE(d.clean_end);
    EXPECT_EQ(d.frames, 60);
    EXPECT_NEAR(d.audio_seconds, 2.0, 0.03);

    // The first picture, upright, within the encoder's loss.
    ASSERT_EQ(d.first.size(), static_cast<size_t>(W * H * 3));
    std::vector<unsigned char> want = picture(0);
    double error = 0.0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W * 3; ++x)
            error += std::abs(d.first[y * W * 3 + x] - want[(H - 1 - y) * W * 3 + x]);
    EXPECT_LT(error / (W * H * 3), 6.0);
}

TEST_F(VideoFileTest, SilentMatroskaRenderHasNoAudioTrack)
{
    const std::string path = dir.path + "/silent.mkv";
    render(path, 1.0, 0);
    Discovered info = discover(path);
    EXPECT_EQ(info.container, "video/x-matroska");
    EXPECT_EQ(info.video, "video/x-vp8");
    EXPECT_EQ(info.audio, "");
    EXPECT_EQ(decode(path, false).frames, 30);
}

TEST_F(VideoFileTest, BadNamesAndUnwritablePathsFailAtOpen)
{
    VideoFileSettings s;
    s.width = W;
    s.height = H;
    std::string error;
    for (std::string path : {dir.path + "/show.mp4", dir.path + "/missing/show.webm"}) {
        s.path = path;
        error.clear();
        EXPECT_EQ(video_file_open(s, &error), nullptr) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/missing"));
}

// A live recording into a pipe: while nobody reads it, the output stalls and
// the encoder cannot take frames, so pushing must drop them rather than wait.
// The pipe also shows that the file is written front to back only (it
// cannot seek), so what a crash leaves behind is a prefix of it, which must
// still play.
TEST_F(VideoFileTest, LiveRecordingDropsWhatItCannotTakeAndItsPrefixPlays)
{
    const std::string path = dir.path + "/live.webm";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    VideoFileSettings s;
    s.path = path;
    s.width = W;
    s.height = H;
    s.audio_rate = 48000;
    s.live = true;
    std::string error;
    VideoFile* file = video_file_open(s, &error);
    ASSERT_NE(file, nullptr) << error;
    std::vector<float> music(2 * 48000, 0.25f);
    auto push = [&](int i) {
        double t = i / 30.0;
        EXPECT_TRUE(video_file_push_audio(file, music.data(), video_file_audio_wanted(file, t)));
        EXPECT_TRUE(video_file_push_frame(file, picture(i).data(), t));
    };
    const int stalled = 300;
    for (int i = 0; i < stalled; ++i)
        push(i);
    const long long dropped = video_file_dropped_frames(file);
    EXPECT_GT(dropped, stalled / 2);

    std::string stream;
    std::thread drain([&] {
        fcntl(reader, F_SETFL, 0);
        char chunk[65536];
        for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) != 0;)
            if (n > 0)
                stream.append(chunk, static_cast<size_t>(n));
    });
    // With the output flowing again, offer each frame until it is taken.
    const int flowing = 60;
    for (int i = stalled; i < stalled + flowing; ++i)
        for (long long before = video_file_dropped_frames(file); push(i), video_file_dropped_frames(file) > before;)
            before = video_file_dropped_frames(file);
    const double music_dropped = video_file_dropped_audio(file) / 48000.0;
    bool closed = video_file_close(file, &error);
    drain.join();
    close(reader);
    ASSERT_TRUE(closed) << error;

    const std::string whole = dir.path + "/whole.webm", cut = dir.path + "/cut.webm";
    std::ofstream(whole, std::ios::binary) << stream;
    std::ofstream(cut, std::ios::binary) << stream.substr(0, stream.size() / 2);
    Decoded all = decode(whole, true);
    EXPECT_TRUE(all.clean_end);
    EXPECT_EQ(all.frames, stalled - dropped + flowing);
    EXPECT_NEAR(all.audio_seconds, (stalled + flowing - 1) / 30.0 - music_dropped, 0.1);
    Decoded part = decode(cut, true);
    EXPECT_GT(part.frames, 5);
    EXPECT_LT(part.frames, all.frames);
}

}  // namespace
