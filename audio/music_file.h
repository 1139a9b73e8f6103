#pragma once

#include <cstdint>
#include <string>

// A music file decoded piece by piece with libsndfile, as stereo float frames
// at the file's own rate, looping: the frame after the last one is the first
// one again. Memory does not depend on the file's length.

struct MusicFile;

// Opens and checks the file: it must be audio libsndfile can read, with one or
// two channels and at least one decodable frame. On failure returns nullptr
// and sets *error to one of the sound error codes (audio/sound_error.h).
MusicFile* music_file_open(const std::string& path, int* error);
void music_file_close(MusicFile* file);

int music_file_rate(const MusicFile* file);

// Fills `frames` interleaved stereo frames, going on from the start at the end
// of the file. Returns the frames written: fewer only when the file stops
// giving any.
int music_file_read(MusicFile* file, float* stereo, int frames);

// Back to the first frame.
bool music_file_rewind(MusicFile* file);

// Jumps to `frame` of the loop, counted from the start and round the loop as
// often as it takes, using the length the file declares. False when the file
// declares none or cannot seek.
bool music_file_seek_looped(MusicFile* file, int64_t frame);
