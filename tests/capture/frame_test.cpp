// Frames from every source: the pixel formula and the fast converters, the
// frame layout, YUV4MPEG2 files, the test pattern, the camera's GStreamer path
// (a test source or a file for the device) and video files.

#include "capture/capture.h"
#include "capture/source.h"
#include "core/settings.h"
#include "tests/capture/y4m_writer.h"

#include <cerrno>
#include <filesystem>

namespace {

// Whether opening fails (or, where `opens`, succeeds) with `lines` lines on
// standard error that say all of `says`.
::testing::AssertionResult refused(const std::function<bool()>& open, const std::vector<std::string>& says,
                                   bool opens = false, std::size_t lines = 1)
{
    ::testing::internal::CaptureStderr();
    const bool ok = open();
    const std::string err = ::testing::internal::GetCapturedStderr();
    const auto said = [&](const std::string& s) { return err.find(s) != std::string::npos; };
    if (ok == opens && std::count(err.begin(), err.end(), '\n') == long(lines) && std::all_of(says.begin(), says.end(), said))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << (ok ? "opened" : "refused") << ", saying: " << err;
}

// The luma plane of the source's frame for a show time.
std::vector<unsigned char> luma_at(const CaptureSource& s, double ms)
{
    CaptureFrame f;
    std::vector<unsigned char> y;
    for (int r = 0; s.frame(ms, &f) && capture_frame_complete(f) && r < f.height; ++r)
        y.insert(y.end(), f.planes[0] + r * f.strides[0], f.planes[0] + r * f.strides[0] + f.width);
    return y;
}

}  // namespace

// Every Y, U, V through every converter, against the formula. Per U value a
// 256 x 256 frame whose 128 x 128 chroma samples carry every V 64 times, and
// whose 4 x 64 pixels under each V every Y once; and its top left 175 x 143,
// an odd size with padded strides, which must not write past its rows.
TEST(Yuv, EveryTripleThroughEveryConverterMatchesThePixelFormula)
{
    // Studio range to full; the shift rounds towards minus infinity.
    const int known[][6] = {{16, 128, 128, 0, 0, 0},  {127, 128, 128, 129, 129, 129}, {235, 128, 128, 254, 254, 254},
                            {128, 0, 0, 0, 255, 0},   {128, 255, 255, 255, 0, 255},   {17, 128, 127, 0, 1, 1}};
    for (const auto& k : known)
        EXPECT_EQ(rgb_of(k[0], k[1], k[2]), (std::array<int, 3>{k[3], k[4], k[5]})) << k[0] << " " << k[1];
    using Converter = void (*)(const YuvPlanes&, std::uint8_t*, int, int, int);
    const std::pair<const char*, Converter> converters[] = {
        {"portable", yuv_frame_to_rgb_portable}, {"dispatch", yuv_frame_to_rgb}, {"avx2", yuv_frame_to_rgb_avx2}};
    constexpr int w = 256, cw = 128;
    std::vector<std::uint8_t> yp(w * w), up(cw * cw), vp(cw * cw), rgb(w * w * 3);
    for (int c = 0; c < cw * cw; ++c) {
        vp[c] = static_cast<std::uint8_t>(c / 64);
        for (int k = 0; k < 4; ++k)
            yp[(2 * (c / cw) + k / 2) * w + 2 * (c % cw) + k % 2] = static_cast<std::uint8_t>((c % 64) * 4 + k);
    }
    for (const auto& [name, convert] : converters) {
        for (int u = 0; u < 256 && (convert != yuv_frame_to_rgb_avx2 || yuv_have_avx2()); ++u) {
            std::fill(up.begin(), up.end(), static_cast<std::uint8_t>(u));
            for (const auto& [cols, rows] : {std::pair{w, w}, {175, 143}}) {
                std::fill(rgb.begin(), rgb.end(), 0xA5);
                convert({yp.data(), up.data(), vp.data(), w, cw, cw}, rgb.data(), w * 3, cols, rows);
                for (int p = 0; p < w * rows; ++p) {
                    const std::array<int, 3> want = p % w >= cols ? std::array<int, 3>{0xA5, 0xA5, 0xA5}
                                                                  : rgb_of(yp[p], u, vp[(p / w / 2) * cw + p % w / 2]);
                    ASSERT_EQ((std::array<int, 3>{rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2]}), want)
                        << name << " " << cols << "x" << rows << ": pixel " << p % w << ", " << p / w << " U " << u;
                }
            }
        }
    }
}

TEST(Frame, WholeFrames)
{
    std::vector<unsigned char> data(i420_frame_bytes(175, 143));
    CaptureFrame f = capture_frame_i420(data.data(), data.size(), 175, 143);
    EXPECT_TRUE(f.planes[1] == data.data() + 175 * 143 && f.planes[2] == f.planes[1] + 88 * 72 && f.strides[1] == 88);
    EXPECT_TRUE(capture_frame_complete(f));
    for (std::size_t short_size : {data.size() - 1, std::size_t{175 * 143}, std::size_t{0}})
        EXPECT_FALSE(capture_frame_complete(capture_frame_i420(data.data(), short_size, 175, 143))) << short_size;
    // Padded rows: the last needs only its own bytes, not a whole stride; a
    // chroma stride narrower than a chroma row is not a frame.
    f.strides[0] = 200;
    for (const auto& [luma_size, chroma_stride, whole] : {std::tuple{200 * 142 + 175, 88, true}, {200 * 142 + 174, 88, false}, {200 * 142 + 175, 87, false}}) {
        f.sizes[0] = luma_size, f.strides[1] = chroma_stride;
        EXPECT_EQ(capture_frame_complete(f), whole) << luma_size << " " << chroma_stride;
    }
}

TEST(Y4mFile, FramesFollowTheShowClockAndLoop)
{
    const std::vector<Chroma> grey(3, {128, 128});
    const std::string path = write_y4m("loop", "YUV4MPEG2 W6 H4 F10:1 Ip A1:1 C420jpeg XYSCSS=420JPEG", 6, 4, grey);
    int w = 0, h = 0;
    ASSERT_TRUE(y4m_source.open(path, &w, &h));
    EXPECT_EQ(w * 10 + h, 64);
    // At 10 frames per second: frame floor(t x 10) mod 3, the top row first.
    for (const auto& [ms, n] : {std::pair{0.0, 0}, {99.9, 0}, {100.0, 1}, {250.0, 2}, {300.0, 0}, {1234.0, 0}}) {
        const std::vector<unsigned char> y = luma_at(y4m_source, ms);
        EXPECT_TRUE(y.size() == 24 && y[0] == y4m_luma(n, 0, 0) && y[23] == y4m_luma(n, 3, 5)) << "at " << ms << " ms";
    }
    // Cut short while open: a short frame, never a read past its end, and the
    // end of the file is not taken for an interrupted read.
    write_y4m("loop", "YUV4MPEG2 W6 H4 F10:1", 6, 4, grey, 5);
    CaptureFrame f;
    errno = EINTR;
    ASSERT_TRUE(y4m_source.frame(200, &f));
    EXPECT_FALSE(capture_frame_complete(f));
    y4m_source.close();

    // Nonsense rates and counts give frame 0.
    const double index[][5] = {{0, 30000, 1001, 100, 0}, {1000, 30000, 1001, 100, 29}, {1001.5, 30000, 1001, 100, 30},
                               {10000, 25, 1, 100, 50},  {-40, 25, 1, 100, 0},         {5000, 25, 1, 1, 0},
                               {1000, -25, 1, 100, 0},   {1000, 25, 1, 0, 0}};
    for (const auto& i : index)
        EXPECT_EQ(y4m_frame_index(i[0], long(i[1]), long(i[2]), long(i[3])), i[4]) << i[0] << " ms, rate " << i[1];
}

// 4:2:0 opens, by default or named; each bad file is refused with one line on
// standard error naming the file and what is wrong with it.
TEST(Y4mFile, ChromaVariantsOpenAndBadFilesAreRefusedWithOneLine)
{
    // The header, its frames, bytes cut from the last, what the line says (empty: it opens).
    const std::tuple<std::string, int, std::size_t, std::string> cases[] = {
        {"YUV4MPEG2 W5 H3 F25:1", 1, 0, ""}, {"YUV4MPEG2 W5 H3 F25:1 C420mpeg2", 1, 0, ""},
        {"YUV4MPEG2 W5 H3 F25:1 C422", 1, 0, "C422 is not supported"}, {"YUV4MPEG2 H3 F25:1", 1, 0, "no frame size"},
        {"YUV4MPEG2 W5 H3", 1, 0, "no frame rate"}, {"YUV4MPEG2 W5 H3 F0:1", 1, 0, "bad frame rate"},
        {"YUV4MPEG2 W-5 H3 F25:1", 1, 0, "bad frame width"}, {"YUV4MPEG2 W5 H100000 F25:1", 1, 0, "bad frame height"},
        {"YUV4MPEG W5 H3 F25:1", 1, 0, "not a YUV4MPEG2 file"}, {"YUV4MPEG2 W5 H3 F25:1", 0, 0, "no frames"},
        {"YUV4MPEG2 W5 H3 F25:1", 3, 10, "truncated: frame 2 has 17 of its 27 bytes"}, {"", -1, 0, "cannot open"},
        {"YUV4MPEG2 W2 H2 F1:1\nFRAMX", 0, 0, "frame 0 does not begin with \"FRAME\""}};
    for (const auto& [header, frames, cut, says] : cases) {
        const std::vector<Chroma> each(std::max(frames, 0), {60, 200});
        const std::string path = write_y4m("bad", header, 5, 3, each, cut);
        if (frames < 0)
            std::filesystem::remove(path);
        int w, h;
        CaptureFrame f;
        if (!says.empty())
            EXPECT_TRUE(refused([&] { return y4m_source.open(path, &w, &h); }, {path, says})) << header;
        else  // 3 x 2 chroma samples each
            EXPECT_TRUE(y4m_source.open(path, &w, &h) && y4m_source.frame(0, &f) && capture_frame_complete(f) &&
                        f.planes[1][0] == 60 && f.planes[2][5] == 200) << header;
        y4m_source.close();
    }
}

// Where the disc is not (at 0 s it is in the middle): the white bar top left
// and the black one top right, both without colour; the ramp along the bottom.
TEST(TestPattern, BarsAndRamp)
{
    const int w = 640, h = 480;
    std::vector<unsigned char> a(i420_frame_bytes(w, h) + 1, 0x5A);
    pattern_draw(0, w, h, a.data());
    const unsigned char *u = &a[w * h], *v = u + w * h / 4;
    EXPECT_TRUE(a[0] == 235 && a[w - 1] == 16 && a[(h - 1) * w] < 20 && a[h * w - 1] > 230 && a.back() == 0x5A);
    EXPECT_TRUE(u[0] == 128 && v[0] == 128 && u[w / 2 - 1] == 128 && v[w / 2 - 1] == 128);
}

// A clip from a file follows the show clock and loops; nonsense is refused.
// As the camera's stream the file ends (the stream is lost), is gone at the
// first try 2 s later, and is back for the second. Each way the camera fails
// to open is one line: a missing device, "auto" with no camera, a pipeline
// that cannot run or gives no frame.
TEST(VideoFile, FramesFollowTheShowClockAndLoopAndACameraIsLostAndBack)
{
    const std::string clip = make_clip("ball.webm");
    int w = 0, h = 0;
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    const auto frame2 = luma_at(file_source, 250);  // the clip is 1 s long: again at 3250 ms
    EXPECT_TRUE(w == 160 && h == 90 && frame2.size() == 160 * 90 && luma_at(file_source, 3250) == frame2);
    std::ofstream(clip + ".mp4") << "not a video\n";
    EXPECT_TRUE(refused([&] { return file_source.open(clip + ".mp4", &w, &h); }, {"cannot be played as video"}));

    ASSERT_TRUE(camera_open_pipeline("filesrc location=" + clip, &w, &h));
    CaptureFrame f;
    std::string err;
    // Asks for frames at `ms` until standard error says `what` or `tries` run out.
    auto says = [&](double ms, const std::string& what, int tries) {
        for (int i = 0; i < tries && err.find(what) == std::string::npos; ++i) {
            ::testing::internal::CaptureStderr();
            EXPECT_TRUE(camera_source.frame(ms, &f));  // the last picture stays
            g_usleep(2000);
            err += ::testing::internal::GetCapturedStderr();
        }
        return err.find(what) != std::string::npos;
    };
    ASSERT_TRUE(says(1000, "video lost", 5000)) << err;
    std::filesystem::rename(clip, clip + ".away");
    EXPECT_FALSE(says(2999, "is back", 1) || says(3000, "is back", 1));
    std::filesystem::rename(clip + ".away", clip);
    EXPECT_FALSE(says(4999, "is back", 50)) << "a try before 2 s after the last one: " << err;
    EXPECT_TRUE(says(5000, "video is back", 2000) && std::count(err.begin(), err.end(), '\n') == 2) << "one line each: " << err;
    camera_source.close();

    const bool have_camera = std::filesystem::exists("/dev/video0");
    const std::pair<std::string, std::string> failures[] = {
        {"/dev/video-glowcam-missing", "capture: /dev/video-glowcam-missing: "},
        {have_camera ? "/dev/video-glowcam-missing" : "auto", have_camera ? "capture: " : "no camera found"},
        {"videotestsrc is-live=true ! video/x-raw,format=NOSUCH", "capture: "},
        {"videotestsrc is-live=true ! valve drop=true", "no frame within 3 s"}};
    for (const auto& [what, says] : failures)
        EXPECT_TRUE(refused([&] {
            return what.find(' ') == std::string::npos ? camera_source.open(what, &w, &h)
                                                       : camera_open_pipeline(what, &w, &h);
        }, {says})) << what;
}

// A stand-in camera offering several sizes: the one for the window arrives and
// is named in one line; one asked for by size arrives where it is offered;
// otherwise, or where it fails once accepted, a line says so and the size
// for the window follows.
TEST(CameraPipeline, TheSizeForTheWindowOrTheOneAskedForArrives)
{
    const std::string raw_head = "videotestsrc is-live=true ! capsfilter caps=\"video/x-raw,width=320,height=240,"
                                 "framerate=30/1;video/x-raw,width=1280,height=720,framerate=30/1;video/x-raw,"
                                 "width=1920,height=1080,framerate=5/1\"";
    // JPEG at 1280 x 720 is offered but cannot come: the source gives 640 x 480.
    const std::string jpeg_head = "videotestsrc is-live=true ! video/x-raw,width=640,height=480,framerate=30/1 ! "
                                  "jpegenc ! capsfilter caps=\"image/jpeg,width=1280,height=720,framerate=30/1;"
                                  "image/jpeg,width=640,height=480,framerate=30/1\"";
    // The window, the size asked for (0: none), the size that arrives ("": none) and what is said.
    const struct { const std::string* head; int window_w, window_h, want_w, want_h; std::string arrives;
                   std::vector<std::string> says; } cases[] = {
        {&raw_head, 1024, 768, 0, 0, "1280x720", {"1280x720 raw at 30/1"}},  // none covers: the largest at 24+
        {&raw_head, 320, 200, 0, 0, "320x240", {"320x240 raw at 30/1"}},
        {&raw_head, 1024, 768, 320, 240, "320x240", {"320x240 raw at 30/1"}},
        {&raw_head, 1024, 768, 1920, 1080, "1920x1080", {"1920x1080 raw at 5/1"}},
        {&raw_head, 320, 200, 800, 600, "320x240", {"800x600 is not among its sizes (320x240 raw at 30/1, "
                                                    "1280x720 raw at 30/1, 1920x1080 raw at 5/1)", ": 320x240 raw"}},
        {&jpeg_head, 640, 480, 1280, 720, "640x480", {"1280x720 JPEG at 30/1 failed", ": 640x480 JPEG at 30/1"}},
        {&jpeg_head, 1920, 1080, 0, 0, "", {"1280x720 JPEG at 30/1: "}}};  // chosen for the window, it fails
    for (const auto& c : cases) {
        screen_width = c.window_w, screen_height = c.window_h;
        capture_select_camera_size(c.want_w, c.want_h);
        int w = 0, h = 0;
        CaptureFrame f;
        EXPECT_TRUE(refused([&] { return camera_open_pipeline(*c.head, &w, &h); }, c.says, !c.arrives.empty(), c.says.size()));
        EXPECT_TRUE(c.arrives.empty() || (camera_source.frame(0, &f) && std::to_string(w) + "x" + std::to_string(h) == c.arrives &&
                                          w == f.width && h == f.height)) << w << "x" << h << " for " << c.arrives;
        camera_source.close();
    }
    capture_select_camera_size(0, 0);
}
