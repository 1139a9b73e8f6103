// Frames from every source: the pixel formula and the fast converters, the
// frame layout and texture sizes, YUV4MPEG2 files, the test pattern, the
// camera's GStreamer path (videotestsrc for the device) and video files made
// with GStreamer's encoders.

#include "capture/capture.h"
#include "capture/source.h"
#include "capture/yuv.h"
#include "tests/capture/y4m_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>

namespace {

using Converter = void (*)(const YuvPlanes&, std::uint8_t*, int, int, int);
std::vector<std::pair<const char*, Converter>> converters()
{
    std::vector<std::pair<const char*, Converter>> all = {{"portable", yuv_frame_to_rgb_portable},
                                                          {"dispatch", yuv_frame_to_rgb}};
    if (yuv_have_avx2())
        all.push_back({"avx2", yuv_frame_to_rgb_avx2});
    return all;
}

std::array<int, 3> rgb_of(int y, int u, int v)
{
    std::array<int, 3> c{};
    yuv_to_rgb(y, u, v, &c[0], &c[1], &c[2]);
    return c;
}

// What a source says while it opens: the result and its standard error.
std::string stderr_of(const std::function<bool()>& open, bool* ok)
{
    ::testing::internal::CaptureStderr();
    *ok = open();
    return ::testing::internal::GetCapturedStderr();
}

}  // namespace

TEST(Yuv, EveryTripleThroughEveryConverterMatchesThePixelFormula)
{
    // Studio range to full, and the shift rounds towards minus infinity
    // (Y 17: (76282 - 104593) >> 16 = -1, clamped; G = (76282 + 53279) >> 16).
    const int known[][6] = {{16, 128, 128, 0, 0, 0},       {126, 128, 128, 128, 128, 128},
                            {127, 128, 128, 129, 129, 129}, {235, 128, 128, 254, 254, 254},
                            {236, 128, 128, 255, 255, 255}, {128, 0, 0, 0, 255, 0},
                            {128, 255, 255, 255, 0, 255},   {17, 128, 127, 0, 1, 1}};
    for (const auto& k : known)
        EXPECT_EQ(rgb_of(k[0], k[1], k[2]), (std::array<int, 3>{k[3], k[4], k[5]})) << k[0] << " " << k[1] << " " << k[2];

    // Per U value a 256 x 256 frame whose 128 x 128 chroma samples carry
    // every V 64 times, and whose 4 x 64 pixels under each V every Y once.
    constexpr int w = 256, cw = 128;
    std::vector<std::uint8_t> yp(w * w), up(cw * cw), vp(cw * cw), rgb(w * w * 3);
    for (const auto& [name, convert] : converters()) {
        for (int u = 0; u < 256; ++u) {
            for (int c = 0; c < cw * cw; ++c) {
                up[c] = static_cast<std::uint8_t>(u);
                vp[c] = static_cast<std::uint8_t>(c / 64);
                for (int k = 0; k < 4; ++k)
                    yp[(2 * (c / cw) + k / 2) * w + 2 * (c % cw) + k % 2] = static_cast<std::uint8_t>((c % 64) * 4 + k);
            }
            convert({yp.data(), up.data(), vp.data(), w, cw, cw}, rgb.data(), w * 3, w, w);
            for (int p = 0; p < w * w; ++p) {
                const int v = vp[(p / w / 2) * cw + p % w / 2];
                const std::array<int, 3> want = rgb_of(yp[p], u, v);
                ASSERT_EQ((std::array<int, 3>{rgb[3 * p], rgb[3 * p + 1], rgb[3 * p + 2]}), want)
                    << name << ": Y " << int(yp[p]) << " U " << u << " V " << v;
            }
        }
    }
}

// Odd sizes and padded strides, random planes: every pixel against the
// formula (chroma shared by pairs of rows and columns), and no byte written
// past a row.
TEST(Yuv, OddSizesWithPaddedStrides)
{
    const int sizes[][2] = {{175, 143}, {1, 1}, {15, 3}, {16, 2}, {17, 5}, {33, 1}, {47, 9}, {640, 480}};
    for (const auto& [name, convert] : converters()) {
        for (const auto& [w, h] : sizes) {
            const int cw = (w + 1) / 2, ch = (h + 1) / 2, ys = w + 13, us = cw + 7, vs = cw + 29, rs = w * 3 + 5;
            SCOPED_TRACE(::testing::Message() << name << " " << w << "x" << h);
            std::vector<std::uint8_t> yp(ys * h), up(us * ch), vp(vs * ch), rgb(rs * h, 0xA5);
            std::uint32_t seed = 12345u + w * 7 + h;
            for (auto* plane : {&yp, &up, &vp})
                for (auto& b : *plane)
                    b = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
            convert({yp.data(), up.data(), vp.data(), ys, us, vs}, rgb.data(), rs, w, h);
            for (int r = 0; r < h; ++r) {
                for (int x = 0; x < w; ++x) {
                    const auto want = rgb_of(yp[r * ys + x], up[(r / 2) * us + x / 2], vp[(r / 2) * vs + x / 2]);
                    for (int c = 0; c < 3; ++c)
                        ASSERT_EQ(rgb[r * rs + x * 3 + c], want[c]) << "row " << r << " column " << x;
                }
                for (int pad = w * 3; pad < rs; ++pad)
                    ASSERT_EQ(rgb[r * rs + pad], 0xA5) << "padding written in row " << r;
            }
        }
    }
}

TEST(Frame, TextureSizesAndWholeFrames)
{
    // The table's sizes, and the smallest power of two that holds the rest.
    const int sizes[][4] = {{160, 120, 256, 256},  {176, 144, 256, 256},   {320, 240, 512, 256},
                            {352, 288, 512, 512},  {640, 480, 1024, 512},  {256, 256, 256, 256},
                            {257, 257, 512, 512},  {500, 300, 512, 512},   {1, 1, 256, 256},
                            {600, 450, 1024, 512}, {1024, 512, 1024, 512}, {1025, 513, 2048, 1024},
                            {1920, 1080, 2048, 2048}};
    for (const auto& s : sizes) {
        EXPECT_EQ(video_tex_width_for(s[0]), s[2]) << s[0];
        EXPECT_EQ(video_tex_height_for(s[1]), s[3]) << s[1];
    }

    std::vector<unsigned char> data(i420_frame_bytes(175, 143));
    EXPECT_EQ(data.size(), 175u * 143u + 2u * 88u * 72u);
    CaptureFrame f = capture_frame_i420(data.data(), data.size(), 175, 143);
    EXPECT_EQ(f.planes[1], data.data() + 175 * 143);
    EXPECT_EQ(f.planes[2], data.data() + 175 * 143 + 88 * 72);
    EXPECT_EQ(f.strides[1], 88);
    EXPECT_TRUE(capture_frame_complete(f));
    for (std::size_t short_size : {data.size() - 1, std::size_t{175 * 143}, std::size_t{0}})
        EXPECT_FALSE(capture_frame_complete(capture_frame_i420(data.data(), short_size, 175, 143))) << short_size;
    // Strided planes: the last row needs only its own bytes, not a whole stride.
    f.strides[0] = 200;
    f.sizes[0] = 200 * 142 + 175;
    EXPECT_TRUE(capture_frame_complete(f));
    f.sizes[0] -= 1;
    EXPECT_FALSE(capture_frame_complete(f));
    f.sizes[0] += 1;
    f.strides[1] = 87;  // narrower than a chroma row
    EXPECT_FALSE(capture_frame_complete(f));
}

TEST(Y4mFile, FramesFollowTheShowClockAndLoop)
{
    const std::string path = y4m_test_path("loop");
    const std::vector<Y4mColour> colours = {{16, 128, 128}, {126, 128, 128}, {235, 128, 128}};
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W6 H4 F10:1 Ip A1:1 C420jpeg XYSCSS=420JPEG", 6, 4, colours, {50, 128, 128}));
    int w = 0, h = 0;
    bool ok = false;
    EXPECT_EQ(stderr_of([&] { return y4m_source.open(path, &w, &h); }, &ok), "");
    ASSERT_TRUE(ok);
    EXPECT_EQ(w * 10 + h, 64);
    // At 10 frames per second: frame floor(t x 10) mod 3.
    const std::pair<double, int> times[] = {{0, 0}, {99.9, 0}, {100, 1}, {250, 2}, {299, 2}, {300, 0}, {1234, 0}};
    for (const auto& [ms, n] : times) {
        CaptureFrame f;
        ASSERT_TRUE(y4m_source.frame(ms, &f));
        ASSERT_TRUE(capture_frame_complete(f));
        EXPECT_EQ(f.planes[0][6], colours[n].y) << "at " << ms << " ms";
        EXPECT_EQ(f.planes[0][0], 50) << "the first row is the file's first";
    }
    // Cut short while open: short frames, never a read past their end.
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W6 H4 F10:1", 6, 4, colours, {}, 5));
    CaptureFrame f;
    ASSERT_TRUE(y4m_source.frame(200, &f));
    EXPECT_FALSE(capture_frame_complete(f));
    y4m_source.close();

    const double index[][4] = {{0, 30000, 1001, 0}, {1000, 30000, 1001, 29}, {1001.5, 30000, 1001, 30},
                               {10000, 25, 1, 50},  {-40, 25, 1, 0}};
    for (const auto& i : index)
        EXPECT_EQ(y4m_frame_index(i[0], static_cast<int>(i[1]), static_cast<int>(i[2]), 100), i[3]) << i[0];
    EXPECT_EQ(y4m_frame_index(5000, 25, 1, 1), 0);
}

// Every flavour of 4:2:0 opens; each bad file is refused with one line on
// standard error naming the file and what is wrong with it.
TEST(Y4mFile, ChromaVariantsOpenAndBadFilesAreRefusedWithOneLine)
{
    for (const char* c : {"", " C420", " C420jpeg", " C420paldv", " C420mpeg2"}) {
        const std::string path = y4m_test_path("chroma");
        ASSERT_TRUE(write_y4m(path, std::string("YUV4MPEG2 W5 H3 F25:1") + c, 5, 3, {{90, 60, 200}}));
        int w, h;
        ASSERT_TRUE(y4m_source.open(path, &w, &h)) << c;
        CaptureFrame f;
        ASSERT_TRUE(y4m_source.frame(0, &f));
        EXPECT_TRUE(capture_frame_complete(f));
        EXPECT_EQ(f.planes[1][0], 60);
        EXPECT_EQ(f.planes[2][5], 200);  // 3 x 2 chroma samples each
        y4m_source.close();
    }
    const struct {
        const char* name;
        std::string header;
        std::size_t cut;
        int frames;
        const char* says;
    } cases[] = {
        {"422", "YUV4MPEG2 W8 H8 F25:1 C422", 0, 1, "C422 is not supported"},
        {"mono", "YUV4MPEG2 W8 H8 F25:1 Cmono", 0, 1, "Cmono is not supported"},
        {"10bit", "YUV4MPEG2 W8 H8 F25:1 C420p10", 0, 1, "C420p10 is not supported"},
        {"nowidth", "YUV4MPEG2 H8 F25:1", 0, 1, "no frame size"},
        {"norate", "YUV4MPEG2 W8 H8", 0, 1, "no frame rate"},
        {"zerorate", "YUV4MPEG2 W8 H8 F0:1", 0, 1, "bad frame rate"},
        {"badwidth", "YUV4MPEG2 W-8 H8 F25:1", 0, 1, "bad frame width"},
        {"huge", "YUV4MPEG2 W100000 H8 F25:1", 0, 1, "bad frame width"},
        {"magic", "YUV4MPEG W8 H8 F25:1", 0, 1, "not a YUV4MPEG2 file"},
        {"truncated", "YUV4MPEG2 W8 H8 F25:1", 10, 3, "truncated: frame 2 has 86 of its 96 bytes"},
        {"noframes", "YUV4MPEG2 W8 H8 F25:1", 0, 0, "no frames"},
        {"marker", "YUV4MPEG2 W2 H2 F1:1\nFRAMX", 0, 0, "frame 0 does not begin with \"FRAME\""},
        {"missing", "", 0, -1, "cannot open"},
    };
    for (const auto& c : cases) {
        const std::string path = y4m_test_path(c.name);
        std::filesystem::remove(path);
        if (c.frames >= 0) {
            ASSERT_TRUE(write_y4m(path, c.header, 8, 8, std::vector<Y4mColour>(c.frames, {100, 100, 100}), {}, c.cut));
        }
        int w, h;
        bool ok = true;
        const std::string err = stderr_of([&] { return y4m_source.open(path, &w, &h); }, &ok);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_NE(err.find(path), std::string::npos) << c.name << ": " << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name << ": " << err;
    }
}

TEST(TestPattern, IsAFunctionOfShowTimeAndSize)
{
    const int w = 640, h = 480;
    std::vector<unsigned char> a(i420_frame_bytes(w, h)), b(a.size()), c(a.size());
    pattern_draw(1234.5, w, h, a.data());
    pattern_draw(1234.5, w, h, b.data());
    pattern_draw(1734.5, w, h, c.data());
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c) << "the disc moves";
    // The bars where the disc is not: white top-left, black top-right, the
    // ramp along the bottom.
    pattern_draw(0, w, h, a.data());
    EXPECT_EQ(a[0], 235);
    EXPECT_EQ(a[w - 1], 16);
    EXPECT_LT(a[(h - 1) * w], 20);
    EXPECT_GT(a[(h - 1) * w + w - 1], 230);
    // Odd sizes fill every plane byte without writing past the frame.
    std::vector<unsigned char> odd(i420_frame_bytes(175, 143) + 16, 0x5A);
    pattern_draw(500, 175, 143, odd.data());
    EXPECT_EQ(std::count(odd.end() - 16, odd.end(), 0x5A), 16);
    int pw = 0, ph = 0;
    ASSERT_TRUE(pattern_source.open("test", &pw, &ph));
    CaptureFrame f;
    ASSERT_TRUE(pattern_source.frame(2000, &f));
    EXPECT_TRUE(capture_frame_complete(f));
    EXPECT_EQ(f.width * 1000 + f.height, 640480);
    pattern_source.close();
}

// 640 x 480 where the camera offers it, otherwise its own size, unscaled;
// each way it fails is one line.
TEST(Camera, OpensAtTheBestSizeAndSaysWhyItCannot)
{
    const std::tuple<const char*, int, int> offers[] = {
        {"videotestsrc is-live=true pattern=white", 640, 480},
        {"videotestsrc is-live=true pattern=white ! video/x-raw,width=175,height=143", 175, 143},
        {"videotestsrc is-live=true pattern=white ! video/x-raw,width=1280,height=720", 1280, 720}};
    for (const auto& [head, cw, ch] : offers) {
        int w = 0, h = 0;
        bool ok = false;
        const std::string err = stderr_of([&] { return camera_open_pipeline(head, &w, &h); }, &ok);
        ASSERT_TRUE(ok) << err;
        EXPECT_EQ(w, cw);
        EXPECT_EQ(h, ch);
        CaptureFrame f;
        for (int again = 0; again < 2; ++again) {  // asked again with no new frame: a frame all the same
            ASSERT_TRUE(camera_source.frame(0, &f));
            ASSERT_TRUE(capture_frame_complete(f));
            EXPECT_EQ(f.width * 10000 + f.height, cw * 10000 + ch);
        }
        // Studio-range white, to the last row.
        const int r = ch - 1, x = cw - 1;
        EXPECT_NEAR(f.planes[0][r * f.strides[0] + x], 235, 2);
        EXPECT_NEAR(f.planes[1][r / 2 * f.strides[1] + x / 2], 128, 2);
        EXPECT_NEAR(f.planes[2][r / 2 * f.strides[2] + x / 2], 128, 2);
        camera_source.close();
    }
    // A missing device, "auto" with no camera, a pipeline that cannot run or
    // gives no frame.
    struct stat st;
    const bool have_camera = stat("/dev/video0", &st) == 0;
    const std::pair<std::string, std::string> failures[] = {
        {"/dev/video-glowcam-missing", "capture: /dev/video-glowcam-missing: "},
        {have_camera ? "/dev/video-glowcam-missing" : "auto", have_camera ? "capture: " : "no camera found"},
        {"videotestsrc is-live=true ! video/x-raw,format=NOSUCH", "capture: "},
        {"videotestsrc is-live=true ! valve drop=true", "no frame within 3 s"}};
    for (const auto& [what, says] : failures) {
        int w, h;
        bool ok = true;
        const std::string err = stderr_of([&] {
            return what.find(' ') == std::string::npos ? camera_source.open(what, &w, &h)
                                                       : camera_open_pipeline(what, &w, &h);
        }, &ok);
        EXPECT_FALSE(ok) << what;
        EXPECT_NE(err.find(says), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}

// The luma plane of the source's frame for a show time.
std::vector<unsigned char> luma_at(const CaptureSource& s, double ms)
{
    CaptureFrame f;
    if (!s.frame(ms, &f) || !capture_frame_complete(f))
        return {};
    std::vector<unsigned char> y;
    for (int r = 0; r < f.height; ++r)
        y.insert(y.end(), f.planes[0] + r * f.strides[0], f.planes[0] + r * f.strides[0] + f.width);
    return y;
}

TEST(VideoFile, FramesFollowTheShowClockLoopAtTheCutAndNonsenseIsRefused)
{
    const std::string clip = make_clip("ball.webm");
    int w = 0, h = 0;
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    EXPECT_EQ(w * 100 + h, 16090);
    // Frame 2 at 250 ms; the clip is 1 s long, so again at 1250 and 3250 ms,
    // and back in time, or reached straight from the start.
    const auto frame2 = luma_at(file_source, 250);
    ASSERT_FALSE(frame2.empty());
    EXPECT_NE(luma_at(file_source, 350), frame2);
    for (double ms : {1250.0, 3250.0, 250.0})
        EXPECT_EQ(luma_at(file_source, ms), frame2) << ms;
    file_source.close();
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    EXPECT_EQ(luma_at(file_source, 5250), frame2);
    file_source.close();

    std::filesystem::resize_file(clip, std::filesystem::file_size(clip) * 6 / 10);
    ASSERT_TRUE(file_source.open(clip, &w, &h));
    const auto first = luma_at(file_source, 0);
    bool looped = false;
    for (int ms = 50; ms < 3000; ms += 100) {
        const auto y = luma_at(file_source, ms);
        ASSERT_FALSE(y.empty()) << ms;
        looped = looped || (ms > 100 && y == first);
    }
    EXPECT_TRUE(looped);
    file_source.close();

    std::ofstream(clip + ".mp4") << "not a video\n";
    bool ok = true;
    const std::string err = stderr_of([&] { return file_source.open(clip + ".mp4", &w, &h); }, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot be played as video"), std::string::npos) << err;
}

// The camera stands in as a file that ends (the stream is lost), is gone at
// the first try 2 s later, and is back for the second.
TEST(VideoFile, LostCameraIsTriedEvery2sAndComesBack)
{
    const std::string clip = make_clip("camera.webm");
    int w = 0, h = 0;
    ASSERT_TRUE(camera_open_pipeline("filesrc location=" + clip, &w, &h));
    CaptureFrame f;
    std::string err;
    // Asks for frames at `ms` until stderr says `what` or `tries` run out.
    auto until = [&](double ms, const std::string& what, int tries) {
        for (int i = 0; i < tries && err.find(what) == std::string::npos; ++i) {
            ::testing::internal::CaptureStderr();
            EXPECT_TRUE(camera_source.frame(ms, &f));  // the last picture stays
            g_usleep(2000);
            err += ::testing::internal::GetCapturedStderr();
        }
    };
    until(1000, "video lost", 5000);
    ASSERT_NE(err.find("video lost"), std::string::npos) << err;
    std::filesystem::rename(clip, clip + ".away");
    until(2999, "-", 1);
    until(3000, "-", 1);
    std::filesystem::rename(clip + ".away", clip);
    until(4999, "is back", 50);  // no try before 2 s after the last one
    EXPECT_EQ(err.find("is back"), std::string::npos) << err;
    until(5000, "is back", 2000);
    EXPECT_NE(err.find("video is back"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << "one line each: " << err;
    camera_source.close();
}
