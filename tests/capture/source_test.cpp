// The file and pattern sources, frame layout checks and the texture sizes.

#include <gtest/gtest.h>

#include "capture/capture.h"
#include "capture/source.h"
#include "tests/capture/y4m_writer.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Opened {
    bool ok;
    int w, h;
    std::string err;
};

Opened open_y4m(const std::string& path)
{
    Opened o{false, 0, 0, {}};
    ::testing::internal::CaptureStderr();
    o.ok = y4m_source.open(path, &o.w, &o.h);
    o.err = ::testing::internal::GetCapturedStderr();
    return o;
}

}  // namespace

TEST(TextureSize, TableForCommonFrames)
{
    const int cases[][4] = {{160, 120, 256, 256}, {176, 144, 256, 256}, {320, 240, 512, 256},
                            {352, 288, 512, 512}, {640, 480, 1024, 512}, {256, 256, 256, 256},
                            {257, 257, 512, 512}, {500, 300, 512, 512}, {1, 1, 256, 256}};
    for (const auto& c : cases) {
        EXPECT_EQ(video_tex_width_for(c[0]), c[2]) << c[0] << "x" << c[1];
        EXPECT_EQ(video_tex_height_for(c[1]), c[3]) << c[0] << "x" << c[1];
    }
}

// Frames the table's texture would not hold get the smallest power of two
// that does: 600 x 450 fits 1024 x 512, 1920 x 1080 fits 2048 x 2048.
TEST(TextureSize, FramesTheTableCannotHoldGetAPowerOfTwoThatFits)
{
    EXPECT_EQ(video_tex_width_for(600), 1024);
    EXPECT_EQ(video_tex_height_for(450), 512);
    EXPECT_EQ(video_tex_width_for(1024), 1024);
    EXPECT_EQ(video_tex_width_for(1025), 2048);
    EXPECT_EQ(video_tex_width_for(1920), 2048);
    EXPECT_EQ(video_tex_height_for(512), 512);
    EXPECT_EQ(video_tex_height_for(513), 1024);
    EXPECT_EQ(video_tex_height_for(1080), 2048);
}

TEST(FrameLayout, TightI420PlanesAndShortFrames)
{
    std::vector<unsigned char> data(i420_frame_bytes(175, 143));
    EXPECT_EQ(data.size(), 175u * 143u + 2u * 88u * 72u);
    CaptureFrame f = capture_frame_i420(data.data(), data.size(), 175, 143);
    EXPECT_EQ(f.planes[1], data.data() + 175 * 143);
    EXPECT_EQ(f.planes[2], data.data() + 175 * 143 + 88 * 72);
    EXPECT_EQ(f.strides[0], 175);
    EXPECT_EQ(f.strides[1], 88);
    EXPECT_TRUE(capture_frame_complete(f));
    // One byte short of the last V sample, or only the Y plane: not whole.
    EXPECT_FALSE(capture_frame_complete(capture_frame_i420(data.data(), data.size() - 1, 175, 143)));
    EXPECT_FALSE(capture_frame_complete(capture_frame_i420(data.data(), 175 * 143, 175, 143)));
    EXPECT_FALSE(capture_frame_complete(capture_frame_i420(data.data(), 0, 175, 143)));
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

TEST(Y4mFile, ReadsHeaderAndLoopsFramesOnTheShowClock)
{
    std::string path = y4m_test_path("loop");
    std::vector<Y4mColour> colours = {{16, 128, 128}, {126, 128, 128}, {235, 128, 128}};
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W6 H4 F10:1 Ip A1:1 C420jpeg XYSCSS=420JPEG", 6, 4, colours, {50, 128, 128}));
    Opened o = open_y4m(path);
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(o.w, 6);
    EXPECT_EQ(o.h, 4);
    // At 10 frames per second: frame floor(t x 10) mod 3.
    const double times[] = {0, 50, 99.9, 100, 250, 299, 300, 1234};
    const int want[] = {0, 0, 0, 1, 2, 2, 0, 0};
    for (int i = 0; i < 8; ++i) {
        CaptureFrame f;
        ASSERT_TRUE(y4m_source.frame(times[i], &f));
        ASSERT_TRUE(capture_frame_complete(f));
        EXPECT_EQ(f.planes[0][6], colours[want[i]].y) << "at " << times[i] << " ms";
        EXPECT_EQ(f.planes[0][0], 50) << "the first row is the file's first";
    }
    y4m_source.close();
    std::remove(path.c_str());
}

TEST(Y4mFile, FrameIndexFollowsTheRate)
{
    EXPECT_EQ(y4m_frame_index(0, 30000, 1001, 100), 0);
    EXPECT_EQ(y4m_frame_index(1000, 30000, 1001, 100), 29);     // 29.97 frames in a second
    EXPECT_EQ(y4m_frame_index(1001.5, 30000, 1001, 100), 30);
    EXPECT_EQ(y4m_frame_index(10000, 25, 1, 100), 50);          // 250 mod 100
    EXPECT_EQ(y4m_frame_index(-40, 25, 1, 100), 0);
    EXPECT_EQ(y4m_frame_index(5000, 25, 1, 1), 0);
}

TEST(Y4mFile, ChromaVariantsOf420AreAccepted)
{
    for (const char* c : {"", " C420", " C420jpeg", " C420paldv", " C420mpeg2"}) {
        std::string path = y4m_test_path("chroma");
        ASSERT_TRUE(write_y4m(path, std::string("YUV4MPEG2 W5 H3 F25:1") + c, 5, 3, {{90, 60, 200}}));
        Opened o = open_y4m(path);
        EXPECT_TRUE(o.ok) << c << ": " << o.err;
        CaptureFrame f;
        ASSERT_TRUE(y4m_source.frame(0, &f));
        EXPECT_TRUE(capture_frame_complete(f));
        EXPECT_EQ(f.planes[1][0], 60);
        EXPECT_EQ(f.planes[2][5], 200);  // 3 x 2 chroma samples each
        y4m_source.close();
        std::remove(path.c_str());
    }
}

// Each bad file is refused with one line on standard error naming the file
// and what is wrong with it.
TEST(Y4mFile, BadFilesAreRefusedWithOneLineSayingWhy)
{
    struct Case {
        const char* name;
        std::string header;
        std::size_t cut;
        int frames;
        const char* says;
    };
    const Case cases[] = {
        {"422", "YUV4MPEG2 W8 H8 F25:1 C422", 0, 1, "C422 is not supported"},
        {"444", "YUV4MPEG2 W8 H8 F25:1 C444", 0, 1, "C444 is not supported"},
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
    };
    for (const Case& c : cases) {
        std::string path = y4m_test_path(c.name);
        ASSERT_TRUE(write_y4m(path, c.header, 8, 8, std::vector<Y4mColour>(c.frames, {100, 100, 100}), {}, c.cut));
        Opened o = open_y4m(path);
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_NE(o.err.find(path), std::string::npos) << c.name << ": " << o.err;
        EXPECT_NE(o.err.find(c.says), std::string::npos) << c.name << ": " << o.err;
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << c.name << ": " << o.err;
        std::remove(path.c_str());
    }

    Opened missing = open_y4m(y4m_test_path("does-not-exist"));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;

    // A frame marker that is not "FRAME".
    std::string path = y4m_test_path("marker");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("YUV4MPEG2 W2 H2 F1:1\nFRAMX\n123456", f);
    std::fclose(f);
    Opened marker = open_y4m(path);
    EXPECT_FALSE(marker.ok);
    EXPECT_NE(marker.err.find("frame 0 does not begin with \"FRAME\""), std::string::npos) << marker.err;
    std::remove(path.c_str());
}

// A file cut short after it was opened gives short frames, never a read
// past their end, and whole frames again once it is whole.
TEST(Y4mFile, FileCutShortWhileOpenGivesShortFrames)
{
    std::string path = y4m_test_path("shrinks");
    std::vector<Y4mColour> colours = {{40, 128, 128}, {80, 128, 128}};
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W4 H2 F1:1", 4, 2, colours));
    Opened o = open_y4m(path);
    ASSERT_TRUE(o.ok) << o.err;
    CaptureFrame f;
    ASSERT_TRUE(y4m_source.frame(0, &f));
    EXPECT_TRUE(capture_frame_complete(f));
    ASSERT_TRUE(write_y4m(path, "YUV4MPEG2 W4 H2 F1:1", 4, 2, colours, {}, 5));
    ASSERT_TRUE(y4m_source.frame(1000, &f));
    EXPECT_FALSE(capture_frame_complete(f));
    y4m_source.close();
    std::remove(path.c_str());
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
    // The bars are where the disc is not: the top-left is white, the
    // top-right black, the bottom-left of the ramp dark.
    pattern_draw(0, w, h, a.data());
    EXPECT_EQ(a[0], 235);
    EXPECT_EQ(a[w - 1], 16);
    EXPECT_LT(a[(h - 1) * w], 20);
    EXPECT_GT(a[(h - 1) * w + w - 1], 230);
    // Odd sizes fill every plane byte without writing past the frame.
    std::vector<unsigned char> odd(i420_frame_bytes(175, 143) + 16, 0x5A);
    pattern_draw(500, 175, 143, odd.data());
    for (std::size_t i = i420_frame_bytes(175, 143); i < odd.size(); ++i)
        ASSERT_EQ(odd[i], 0x5A);
}

TEST(TestPattern, SourceDeliversWhole640x480Frames)
{
    int w = 0, h = 0;
    ASSERT_TRUE(pattern_source.open("test", &w, &h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    CaptureFrame f;
    ASSERT_TRUE(pattern_source.frame(2000, &f));
    EXPECT_TRUE(capture_frame_complete(f));
    EXPECT_EQ(f.width, 640);
    pattern_source.close();
}
