// Synthesises the show's demo track: 64 s of a 120 bpm loop (kick, a bass
// line around 43 Hz, hats and a pad) as Ogg Vorbis, 44.1 kHz stereo.
//
//   make_demo_track OUTPUT.ogg
//
// Every note is added into a circular buffer of the whole loop, so what rings
// past the end comes back in at the start and the loop point is seamless.

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr double bpm = 120.0;
constexpr int bars = 32;
constexpr double beat_s = 60.0 / bpm;
constexpr int64_t loop_frames = static_cast<int64_t>(bars * 4 * beat_s * rate);
constexpr double two_pi = 2.0 * std::numbers::pi;

struct Loop {
    std::vector<float> left, right;
};

void add(Loop& loop, int64_t frame, float l, float r)
{
    const int64_t i = ((frame % loop_frames) + loop_frames) % loop_frames;
    loop.left[i] += l;
    loop.right[i] += r;
}

double note_hz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// A pitch drop from 110 Hz to 43 Hz with a fast decay: the bass drum.
void kick(Loop& loop, double at_s, float level)
{
    const int64_t start = static_cast<int64_t>(at_s * rate);
    const int length = rate * 4 / 10;
    double phase = 0.0;
    for (int i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double hz = 43.0 + 67.0 * std::exp(-t * 30.0);
        phase += two_pi * hz / rate;
        const double attack = std::min(1.0, t * 400.0);
        const float v = static_cast<float>(std::sin(phase) * std::exp(-t * 9.0) * attack * level);
        add(loop, start + i, v, v);
    }
}

// A soft square-ish tone (odd harmonics, rolled off) with a short pluck.
void bass(Loop& loop, double at_s, double length_s, int midi, float level)
{
    const int64_t start = static_cast<int64_t>(at_s * rate);
    const int length = static_cast<int>(length_s * rate);
    const double hz = note_hz(midi);
    for (int i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double p = two_pi * hz * t;
        const double tone = std::sin(p) + std::sin(3 * p) / 6.0 + std::sin(5 * p) / 20.0;
        const double env = std::min(1.0, t * 200.0) * std::exp(-t * 7.0) *
                           std::min(1.0, (length_s - t) * 100.0);
        const float v = static_cast<float>(tone * env * level);
        add(loop, start + i, v, v);
    }
}

// Short bursts of bright noise, placed a little left or right.
void hat(Loop& loop, double at_s, float level, float pan, uint32_t& seed)
{
    const int64_t start = static_cast<int64_t>(at_s * rate);
    const int length = rate / 20;
    float previous = 0.0f;
    for (int i = 0; i < length; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const float noise = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
        const float bright = noise - previous;  // a first difference: mostly highs
        previous = noise;
        const float v = bright * static_cast<float>(std::exp(-i * 90.0 / rate)) * level;
        add(loop, start + i, v * (1.0f - pan), v * (1.0f + pan));
    }
}

// A chord of slightly detuned sines, faded in and out slowly, wide in stereo.
void pad(Loop& loop, double at_s, double length_s, const int (&chord)[3], float level)
{
    const int64_t start = static_cast<int64_t>(at_s * rate);
    const int length = static_cast<int>(length_s * rate);
    for (int i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double env = std::min(1.0, t / 0.8) * std::min(1.0, (length_s - t) / 1.2);
        double l = 0.0, r = 0.0;
        for (int midi : chord) {
            const double hz = note_hz(midi);
            l += std::sin(two_pi * hz * 0.9985 * t);
            r += std::sin(two_pi * hz * 1.0015 * t + 1.0);
        }
        add(loop, start + i, static_cast<float>(l * env * level),
            static_cast<float>(r * env * level));
    }
}

void compose(Loop& loop)
{
    // F minor, Db, Ab, Eb: two bars each.
    const int roots[4] = {29, 25, 32, 27};  // F1 (43.7 Hz), Db1, Ab1, Eb1
    const int chords[4][3] = {{65, 68, 72}, {61, 65, 68}, {68, 72, 75}, {63, 67, 70}};
    uint32_t seed = 1234;
    for (int bar = 0; bar < bars; ++bar) {
        const double bar_s = bar * 4 * beat_s;
        const int section = (bar / 2) % 4;
        for (int beat = 0; beat < 4; ++beat) {
            const double beat_at = bar_s + beat * beat_s;
            kick(loop, beat_at, 0.85f);
            bass(loop, beat_at + beat_s * 0.5, beat_s * 0.3, roots[section], 0.22f);
            hat(loop, beat_at + beat_s * 0.5, 0.10f, beat % 2 ? 0.3f : -0.3f, seed);
            if (bar % 4 == 3)
                hat(loop, beat_at + beat_s * 0.75, 0.05f, 0.0f, seed);
        }
        if (bar % 2 == 0)
            pad(loop, bar_s, 8 * beat_s + 1.0, chords[section], 0.035f);
    }
}

// A gentle limiter so the kick and bass together never clip.
float limit(float v) { return std::tanh(v * 1.1f) * 0.9f; }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_track OUTPUT.ogg\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string partial = out + ".part";

    Loop loop;
    loop.left.assign(loop_frames, 0.0f);
    loop.right.assign(loop_frames, 0.0f);
    compose(loop);

    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* sf = sf_open(partial.c_str(), SFM_WRITE, &info);
    if (sf == nullptr) {
        std::fprintf(stderr, "make_demo_track: cannot write %s: %s\n", partial.c_str(),
                     sf_strerror(nullptr));
        return 1;
    }
    double quality = 0.5;
    sf_command(sf, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);

    // Chunks of a few thousand frames: libvorbis analyses a whole write on its
    // stack, and one write of the whole track overflows it.
    constexpr int chunk = 4096;
    std::vector<float> frames(2 * chunk);
    for (int64_t at = 0; at < loop_frames; at += chunk) {
        const int n = static_cast<int>(std::min<int64_t>(chunk, loop_frames - at));
        for (int i = 0; i < n; ++i) {
            frames[2 * i] = limit(loop.left[at + i]);
            frames[2 * i + 1] = limit(loop.right[at + i]);
        }
        if (sf_writef_float(sf, frames.data(), n) != n) {
            std::fprintf(stderr, "make_demo_track: writing %s failed: %s\n", partial.c_str(),
                         sf_strerror(sf));
            sf_close(sf);
            std::remove(partial.c_str());
            return 1;
        }
    }
    if (sf_close(sf) != 0 || std::rename(partial.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "make_demo_track: cannot finish %s\n", out.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
