#!/bin/bash
# Writes the committed seed corpora for fuzz_y4m, fuzz_music, fuzz_cues,
# fuzz_osc and fuzz_remote: a few small, valid inputs of each kind the show reads, from which
# libFuzzer mutates.
# Run from anywhere; needs g++ and libsndfile's headers (tools/install-deps.sh).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
y4m="$here/corpus/y4m"
music="$here/corpus/music"
cues="$here/corpus/cues"
osc="$here/corpus/osc"
remote="$here/corpus/remote"
mkdir -p "$y4m" "$music" "$cues" "$osc" "$remote"

printf '# a set\n10 mode 2\n40 hold on\n70 hold off # back\n97 next\n98 previous\n' >"$cues/modes.cues"
printf '4.5 swell\r\n6 blackout on\n8 blackout off\n0 sensitivity 2.5\n\n' >"$cues/effects.cues"

# OSC messages as they travel: the address and the type tags padded to four
# bytes with NULs, then big-endian arguments.
printf '/glowcam/mode\0\0\0,i\0\0\0\0\0\2' >"$osc/mode-int"
printf '/glowcam/sensitivity\0\0\0\0,f\0\0\x40\x20\0\0' >"$osc/sensitivity-float"
printf '/glowcam/next\0\0\0,\0\0\0' >"$osc/next"
printf '/glowcam/hold\0\0\0,T\0\0' >"$osc/hold-true"

# Requests to the remote page: a byte for how the length is given (0 as the
# body's), then method, path, key and body, one a line.
printf '\0POST\n/action\nfuzz-key\nmode 1' >"$remote/action"
printf '\0POST\n/action\nfuzz-key\nsensitivity 2.5\n' >"$remote/sensitivity"
printf '\0GET\n/state\nfuzz-key\n' >"$remote/state"
printf '\0GET\n/preview.jpg\nwrong\n' >"$remote/no-key"
printf '\1POST\n/action\nfuzz-key\nblackout on' >"$remote/no-length"

# frame W H: one I420 frame of W x H with its header, a ramp of bytes.
frame() {
    printf 'FRAME\n'
    head -c $(($1 * $2 + 2 * (($1 + 1) / 2) * (($2 + 1) / 2))) /dev/zero | tr '\0' '\200'
}
{ printf 'YUV4MPEG2 W4 H2 F25:1 Ip A1:1 C420jpeg\n'; frame 4 2; frame 4 2; } >"$y4m/two-frames.y4m"
{ printf 'YUV4MPEG2 W3 H3 F30000:1001 C420mpeg2 XYSCSS=420MPEG2\n'; frame 3 3; } >"$y4m/odd-size.y4m"
{ printf 'YUV4MPEG2 W2 H2 F1:1 C420paldv\n'; printf 'FRAME Ixyz\n'; head -c 6 /dev/zero; } >"$y4m/frame-params.y4m"
{ printf 'YUV4MPEG2 W8 H8 F30:1\n'; frame 8 8 | head -c 60; } >"$y4m/truncated.y4m"

# seed FILE FORMAT RATE CHANNELS: a twentieth of a second of a tone, in each
# format libsndfile decodes for us (FORMAT in hex, as in sndfile.h).
tool="$(mktemp -d)"
trap 'rm -rf "$tool"' EXIT
g++ -O1 -x c++ -o "$tool/seed" - -lsndfile <<'CPP'
#include <sndfile.h>
#include <cmath>
#include <cstdlib>
#include <vector>
int main(int, char** argv)
{
    SF_INFO info{0, std::atoi(argv[3]), std::atoi(argv[4]), static_cast<int>(std::strtol(argv[2], nullptr, 16)), 0, 0};
    SNDFILE* sf = sf_open(argv[1], SFM_WRITE, &info);
    std::vector<float> buf(static_cast<size_t>(info.samplerate / 20 * info.channels));
    for (size_t i = 0; i < buf.size(); ++i)
        buf[i] = 0.5f * std::sin(0.05f * (i / info.channels) * (i % info.channels + 1));
    return sf && sf_writef_float(sf, buf.data(), info.samplerate / 20) >= 0 && sf_close(sf) == 0 ? 0 : 1;
}
CPP
"$tool/seed" "$music/pcm16-mono.wav" 010002 8000 1
"$tool/seed" "$music/float-stereo.wav" 010006 8000 2
"$tool/seed" "$music/stereo.flac" 170002 8000 2
"$tool/seed" "$music/stereo.ogg" 200060 8000 2
"$tool/seed" "$music/mono.opus" 200064 8000 1
"$tool/seed" "$music/pcm8.aiff" 020001 8000 1
"$tool/seed" "$music/mono.mp3" 230082 8000 1 || echo "no MP3 seed (this libsndfile cannot write MP3)"
