// Finished videos as a player sees them: a render and a live recording.

#include "render/video_file.h"
#include "tests/support/video_decode.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

const int W = 320, H = 240;

// Frame i, bottom row first as GL gives it: a vertical ramp (bright at the
// top of the picture) with a bar that moves, so order and orientation show.
std::vector<unsigned char> picture(int i)
{
    std::vector<unsigned char> px(W * H * 3);
    for (int p = 0; p < W * H; ++p) {
        const int x = p % W, y = p / W;
        px[p * 3] = static_cast<unsigned char>(y * 255 / H);
        px[p * 3 + 1] = std::abs(x - (i * 4) % W) < 12 ? 230 : 40;
        px[p * 3 + 2] = static_cast<unsigned char>(x * 255 / W);
    }
    return px;
}

const std::vector<float> music(2 * 48000, 0.25f);

// A render of `frames` pictures, picture i standing for 1 + i % `hold` ticks
// of the grid (as a show drawing slower than the grid gives them) and pushed
// again at its last tick, which is left out; the music up to each one's end.
std::string render(const std::string& path, int audio_rate, int frames, double fps = 30.0, int hold = 1)
{
    std::string error;
    VideoFile* file = video_file_open({.path = path, .width = W, .height = H, .fps = fps, .audio_rate = audio_rate}, &error);
    for (long long i = 0, tick = 0, n; file && i < frames; tick += n, ++i) {
        n = 1 + i % hold;
        EXPECT_TRUE(video_file_push_audio(file, music.data(), video_file_audio_wanted(file, (tick + n) / fps)));
        EXPECT_TRUE(video_file_push_frame(file, picture(i).data(), tick, n) &&
                    video_file_push_frame(file, picture(i).data(), tick + n - 1, 1));
    }
    EXPECT_TRUE(file && video_file_close(file, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class VideoFileTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove_all(dir); }
    const std::string dir = std::filesystem::temp_directory_path() / ("glowcam-video-" + std::to_string(getpid()));
    const bool made = std::filesystem::create_directories(dir);
};

// A render holds every frame, upright, and the music; the same input gives
// the same bytes. Without music, a Matroska file of one track. A name that
// is no .webm or .mkv, or a folder that is not there, fails at open.
TEST_F(VideoFileTest, RenderHoldsEveryFrameAndTheMusicAndRepeatsByteForByte)
{
    const std::string bytes = render(dir + "/a.webm", 44100, 60);
    EXPECT_TRUE(bytes.size() > 10000 && bytes.find("webm") < 64 && bytes == render(dir + "/b.webm", 44100, 60));
    DecodedVideo d = decode_video(dir + "/a.webm", true);
    EXPECT_TRUE(d.clean_end && d.tracks == 2 && d.frames == 60) << d.tracks << " tracks, " << d.frames << " frames";
    EXPECT_TRUE(std::abs(d.video_end - 2.0) < 0.01 && std::abs(d.audio_seconds - 2.0) < 0.03 && d.width == W &&
                d.height == H && d.first.size() == W * H * 3u) << d.video_end << " s, music " << d.audio_seconds;
    const std::vector<unsigned char> want = picture(0);
    double loss = 0.0;
    for (std::size_t i = 0; i < d.first.size(); ++i)  // the first picture, upright, within the encoder's loss
        loss += std::abs(d.first[i] - want[(H - 1 - i / (W * 3)) * W * 3 + i % (W * 3)]);
    EXPECT_LT(loss / (W * H * 3), 6.0);

    EXPECT_LT(render(dir + "/silent.mkv", 0, 30).find("matroska"), 64u);
    d = decode_video(dir + "/silent.mkv", false);
    EXPECT_TRUE(d.tracks == 1 && d.frames == 30) << d.tracks << " tracks, " << d.frames << " frames";
    std::string error;
    for (std::string bad : {dir + "/show.mp4", dir + "/missing/show.webm", std::string(".webm")})
        EXPECT_TRUE(!video_file_open({.path = bad, .width = W, .height = H}, &error) && !error.empty()) << bad;
    // An eighth of a bit per pixel and frame.
    EXPECT_EQ(video_file_default_bitrate(1280, 720, 30) * 2, video_file_default_bitrate(1280, 720, 60));
}

// Pictures standing for one to three ticks of a 24-a-second grid: a frame
// for every tick, timed on it. The file says its length on opening, and its
// seek index takes a player to the middle.
TEST_F(VideoFileTest, APictureHoldsEachOfItsTicksAndTheFileItsLengthAndIndex)
{
    const std::string path = dir + "/grid.mkv";
    const int ticks = 120;  // 20 times 1 + 2 + 3
    EXPECT_NE(render(path, 48000, 60, 24.0, 3).find("\x1c\x53\xbb\x6b"), std::string::npos) << "no seek index (Cues)";
    const DecodedVideo d = decode_video(path, false);
    ASSERT_EQ(d.frames, ticks);
    for (int k = 0; k < ticks; ++k)  // Matroska keeps times to the millisecond
        EXPECT_NEAR(d.times[k], k / 24.0, 0.001) << k;
    EXPECT_NEAR(d.duration, ticks / 24.0, 0.002);
    EXPECT_NEAR(frame_after_seek(path, ticks / 48.0), ticks / 48.0, 1 / 24.0);
}

// A live recording into a pipe: while nobody reads it, the output stalls and
// the encoder cannot take frames, so pushing must drop them rather than wait.
// What comes out plays whole, less what was dropped.
TEST_F(VideoFileTest, LiveRecordingDropsWhatItCannotTake)
{
    const std::string path = dir + "/live.webm";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    const int reader = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    std::string error, stream;
    VideoFile* file = video_file_open({.path = path, .width = W, .height = H, .audio_rate = 48000, .live = true}, &error);
    ASSERT_TRUE(reader >= 0 && file) << error;
    const int frames = 300;
    for (int i = 0; i < frames; ++i)
        EXPECT_TRUE(video_file_push_audio(file, music.data(), video_file_audio_wanted(file, i / 30.0)) &&
                    video_file_push_frame(file, picture(i).data(), i, 1));
    const long long dropped = video_file_dropped_frames(file);
    const double music_dropped = video_file_dropped_audio(file) / 48000.0;
    EXPECT_GT(dropped, frames / 2);
    std::thread drain([&] {
        fcntl(reader, F_SETFL, 0);
        char chunk[65536];
        for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) != 0;)
            stream.append(chunk, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    });
    const bool closed = video_file_close(file, &error);
    drain.join();
    close(reader);
    std::ofstream(dir + "/whole.webm", std::ios::binary) << stream;
    const DecodedVideo d = decode_video(dir + "/whole.webm", true);
    EXPECT_TRUE(closed && d.clean_end && d.frames == frames - dropped) << error << ": " << d.frames << " frames";
    EXPECT_NEAR(d.audio_seconds, (frames - 1) / 30.0 - music_dropped, 0.1);
}

}  // namespace
