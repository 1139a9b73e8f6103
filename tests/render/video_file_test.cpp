#include "render/video_file.h"
#include "tests/support/video_decode.h"

#include <gtest/gtest.h>
#include <gst/gst.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int W = 320, H = 240;

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

VideoFileSettings settings(const std::string& path, int audio_rate, bool live)
{
    VideoFileSettings s;
    s.path = path;
    s.width = W;
    s.height = H;
    s.audio_rate = audio_rate;
    s.live = live;
    return s;
}

// Pushes a render at 30 frames a second, the music up to each frame's end.
void render(const std::string& path, int frames, int audio_rate)
{
    std::string error;
    VideoFile* file = video_file_open(settings(path, audio_rate, false), &error);
    ASSERT_NE(file, nullptr) << error;
    std::vector<float> music(2 * 48000, 0.25f);
    for (int i = 0; i < frames; ++i) {
        ASSERT_TRUE(video_file_push_audio(file, music.data(), video_file_audio_wanted(file, (i + 1) / 30.0)));
        ASSERT_TRUE(video_file_push_frame(file, picture(i).data(), i / 30.0));
    }
    ASSERT_TRUE(video_file_close(file, &error)) << error;
}

std::string bytes_of(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class VideoFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gst_init(nullptr, nullptr); }
    void SetUp() override
    {
        char pattern[] = "/tmp/glowcam-video-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
};

TEST_F(VideoFileTest, RenderHoldsEveryFrameAndTheMusicAndRepeatsByteForByte)
{
    const std::string a = dir + "/a.webm", b = dir + "/b.webm";
    render(a, 60, 44100);
    render(b, 60, 44100);
    std::string bytes = bytes_of(a);
    ASSERT_GT(bytes.size(), 10000u);
    EXPECT_TRUE(bytes == bytes_of(b)) << "two renders of the same input differ";

    EXPECT_NE(bytes.substr(0, 64).find("webm"), std::string::npos);

    DecodedVideo d = decode_video(a, true);
    EXPECT_TRUE(d.clean_end);
    EXPECT_EQ(d.tracks, 2);
    EXPECT_EQ(d.frames, 60);
    EXPECT_NEAR(d.video_end, 2.0, 0.01);
    EXPECT_NEAR(d.audio_seconds, 2.0, 0.03);

    // The first picture, upright, within the encoder's loss.
    ASSERT_EQ(d.width, W);
    ASSERT_EQ(d.height, H);
    std::vector<unsigned char> want = picture(0);
    double error = 0.0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W * 3; ++x)
            error += std::abs(d.first[y * W * 3 + x] - want[(H - 1 - y) * W * 3 + x]);
    EXPECT_LT(error / (W * H * 3), 6.0);
}

TEST_F(VideoFileTest, SilentMatroskaRenderHasNoAudioTrackAndBadPathsFailAtOpen)
{
    const std::string path = dir + "/silent.mkv";
    render(path, 30, 0);
    EXPECT_NE(bytes_of(path).substr(0, 64).find("matroska"), std::string::npos);
    DecodedVideo d = decode_video(path, false);
    EXPECT_EQ(d.tracks, 1);
    EXPECT_EQ(d.frames, 30);

    for (std::string bad : {dir + "/show.mp4", dir + "/missing/show.webm"}) {
        std::string error;
        EXPECT_EQ(video_file_open(settings(bad, 0, false), &error), nullptr) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// A live recording into a pipe: while nobody reads it, the output stalls and
// the encoder cannot take frames, so pushing must drop them rather than wait.
// What comes out plays, and so does a prefix of it, as a crash leaves it.
TEST_F(VideoFileTest, LiveRecordingDropsWhatItCannotTakeAndItsPrefixPlays)
{
    const std::string path = dir + "/live.webm";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    std::string error;
    VideoFile* file = video_file_open(settings(path, 48000, true), &error);
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

    const std::string whole = dir + "/whole.webm", cut = dir + "/cut.webm";
    std::ofstream(whole, std::ios::binary) << stream;
    std::ofstream(cut, std::ios::binary) << stream.substr(0, stream.size() / 2);
    DecodedVideo all = decode_video(whole, true);
    EXPECT_TRUE(all.clean_end);
    EXPECT_EQ(all.frames, stalled - dropped + flowing);
    EXPECT_NEAR(all.audio_seconds, (stalled + flowing - 1) / 30.0 - music_dropped, 0.1);
    DecodedVideo part = decode_video(cut, true);
    EXPECT_GT(part.frames, 5);
    EXPECT_LT(part.frames, all.frames);
}

}  // namespace
