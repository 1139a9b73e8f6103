#include "tests/audio/audio_files.h"

#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

std::string write_audio(const std::string& name, int rate, int channels, const std::vector<float>& samples)
{
    const std::string path = audio_temp_dir() + "/" + name;
    const int format = name.ends_with(".ogg") ? SF_FORMAT_OGG | SF_FORMAT_VORBIS : SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SF_INFO info{0, rate, channels, format, 0, 0};
    if (SNDFILE* sf = sf_open(path.c_str(), SFM_WRITE, &info)) {
        sf_writef_float(sf, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
        sf_close(sf);
    }
    return path;
}

std::string audio_temp_dir()
{
    static const struct TempDir {
        std::string path = mkdtemp(std::string("/tmp/glowcam-audio-test-XXXXXX").data());
        ~TempDir() { std::filesystem::remove_all(path); }
    } dir;
    return dir.path;
}

std::string write_bytes(const std::string& name, const std::string& bytes)
{
    const std::string path = audio_temp_dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::vector<float> make_signal(int frames, int channels, const std::function<float(int)>& f)
{
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = f(static_cast<int>(i / channels));
    return samples;
}

float bin1_sine(int frame, float amplitude) { return amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * frame / 1024.0)); }

float noisy_tone(int frame)
{
    return bin1_sine(frame, 0.4f) + 0.1f * (static_cast<float>((static_cast<unsigned>(frame) * 2654435761u) >> 8) / 16777216.0f - 0.5f);
}
