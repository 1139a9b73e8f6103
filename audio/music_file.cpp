#include "audio/music_file.h"

#include "audio/sound_error.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

struct MusicFile {
    SNDFILE* sf = nullptr;
    int rate = 0;
    int channels = 0;
    sf_count_t declared_frames = 0;
    std::vector<float> scratch;  // one block of the file's own frames (mono files)
};

namespace {

constexpr int scratch_frames = 4096;

// Reads up to `frames` frames, stereo, without wrapping. 0 at the end.
int read_block(MusicFile* file, float* stereo, int frames)
{
    if (file->channels == 2)
        return static_cast<int>(sf_readf_float(file->sf, stereo, frames));
    const int want = std::min(frames, scratch_frames);
    const int got = static_cast<int>(sf_readf_float(file->sf, file->scratch.data(), want));
    for (int i = 0; i < got; ++i) {
        stereo[2 * i] = file->scratch[i];
        stereo[2 * i + 1] = file->scratch[i];
    }
    return std::max(got, 0);
}

// A damaged float file can hold NaN, infinities or absurd values, which would
// poison the mixer and the reverb's tail for the rest of the show: NaN is
// heard as silence, anything else is held to four times full scale.
void keep_finite(float* samples, int count)
{
    for (int i = 0; i < count; ++i) {
        const float v = samples[i];
        if (!(std::fabs(v) <= 4.0f))
            samples[i] = std::isnan(v) ? 0.0f : std::copysign(4.0f, v);
    }
}

}  // namespace

MusicFile* music_file_open(const std::string& path, int* error)
{
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (sf == nullptr) {
        // libsndfile says "System error" when the file itself could not be opened.
        const int code = sf_error(nullptr);
        *error = code == SF_ERR_SYSTEM ? SOUND_ERROR_FILE_OPEN : SOUND_ERROR_FILE_FORMAT;
        return nullptr;
    }
    if (info.channels < 1 || info.channels > 2 || info.samplerate <= 0) {
        sf_close(sf);
        *error = SOUND_ERROR_FILE_CHANNELS;
        return nullptr;
    }
    // Integer files are read as floats from -1 to 1 exclusive, never clipped.
    sf_command(sf, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);

    auto* file = new MusicFile;
    file->sf = sf;
    file->rate = info.samplerate;
    file->channels = info.channels;
    file->declared_frames = info.seekable ? info.frames : 0;
    if (info.channels == 1)
        file->scratch.resize(scratch_frames);

    // The length in the header may be wrong (a truncated file), so it is not
    // trusted: the file must give a first frame now, and loops where it ends.
    float first[2];
    if (read_block(file, first, 1) != 1 || !music_file_rewind(file)) {
        music_file_close(file);
        *error = SOUND_ERROR_FILE_EMPTY;
        return nullptr;
    }
    *error = SOUND_OK;
    return file;
}

void music_file_close(MusicFile* file)
{
    if (file == nullptr)
        return;
    sf_close(file->sf);
    delete file;
}

int music_file_rate(const MusicFile* file) { return file->rate; }

bool music_file_rewind(MusicFile* file) { return sf_seek(file->sf, 0, SEEK_SET) == 0; }

bool music_file_seek_looped(MusicFile* file, int64_t frame)
{
    if (file->declared_frames <= 0 || frame < 0)
        return false;
    return sf_seek(file->sf, frame % file->declared_frames, SEEK_SET) >= 0;
}

int music_file_read(MusicFile* file, float* stereo, int frames)
{
    int done = 0;
    bool wrapped = false;  // a wrap that gives nothing means the file gives nothing
    while (done < frames) {
        const int got = read_block(file, stereo + 2 * done, frames - done);
        if (got > 0) {
            keep_finite(stereo + 2 * done, 2 * got);
            done += got;
            wrapped = false;
            continue;
        }
        if (wrapped || !music_file_rewind(file))
            break;
        wrapped = true;
    }
    return done;
}
