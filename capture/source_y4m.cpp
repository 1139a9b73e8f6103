#include "capture/source.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger frames than this would not fit any texture the show can make.
constexpr long max_side = 8192;
constexpr std::size_t max_header = 4096;

struct Y4mFile {
    std::FILE* file = nullptr;
    std::string path;
    int width = 0, height = 0;
    long rate_num = 0, rate_den = 0;
    std::size_t frame_bytes = 0;
    std::vector<long long> frame_offsets;  // where each frame's pixel data starts
    std::vector<unsigned char> frame;
    long loaded = -1;                      // index of the frame held in `frame`
    std::size_t loaded_bytes = 0;
};

Y4mFile y4m;

void y4m_reset()
{
    if (y4m.file)
        std::fclose(y4m.file);
    y4m = Y4mFile{};
}

bool fail(const std::string& path, const std::string& why)
{
    std::fprintf(stderr, "capture: %s: %s\n", path.c_str(), why.c_str());
    y4m_reset();
    return false;
}

// Reads one header line (without its '\n'). False at end of file before any
// byte, or when the line has no end within max_header bytes (*complete false).
bool read_line(std::FILE* f, std::string* line, bool* complete)
{
    line->clear();
    *complete = false;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            *complete = true;
            return true;
        }
        if (line->size() >= max_header)
            return true;
        line->push_back(static_cast<char>(c));
    }
    return !line->empty();
}

bool parse_long(const std::string& s, long* out)
{
    if (s.empty() || s.size() > 9)
        return false;
    long v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *out = v;
    return true;
}

// The parameters after "YUV4MPEG2": W, H, F and C matter; I, A and X are
// taken as they come.
bool parse_header(const std::string& path, const std::string& line)
{
    static const char magic[] = "YUV4MPEG2";
    if (line.compare(0, sizeof magic - 1, magic) != 0 ||
        (line.size() > sizeof magic - 1 && line[sizeof magic - 1] != ' '))
        return fail(path, "not a YUV4MPEG2 file (it must begin with \"YUV4MPEG2 \")");
    long w = -1, h = -1, num = -1, den = -1;
    std::string chroma = "420jpeg";
    std::size_t pos = sizeof magic - 1;
    while (pos < line.size()) {
        std::size_t end = line.find(' ', pos);
        if (end == std::string::npos)
            end = line.size();
        std::string tok = line.substr(pos, end - pos);
        pos = end + 1;
        if (tok.empty())
            continue;
        std::string value = tok.substr(1);
        switch (tok[0]) {
        case 'W':
            if (!parse_long(value, &w) || w <= 0 || w > max_side)
                return fail(path, "bad frame width \"" + tok + "\" (1 to 8192)");
            break;
        case 'H':
            if (!parse_long(value, &h) || h <= 0 || h > max_side)
                return fail(path, "bad frame height \"" + tok + "\" (1 to 8192)");
            break;
        case 'F': {
            std::size_t colon = value.find(':');
            if (colon == std::string::npos || !parse_long(value.substr(0, colon), &num) ||
                !parse_long(value.substr(colon + 1), &den) || num <= 0 || den <= 0)
                return fail(path, "bad frame rate \"" + tok + "\" (it must be F<num>:<den>, both above 0)");
            break;
        }
        case 'C':
            chroma = value;
            break;
        case 'I':
        case 'A':
        case 'X':
            break;
        default:
            return fail(path, "unknown header parameter \"" + tok + "\"");
        }
    }
    if (w < 0 || h < 0)
        return fail(path, "the header gives no frame size (W and H)");
    if (num < 0)
        return fail(path, "the header gives no frame rate (F)");
    if (chroma != "420jpeg" && chroma != "420paldv" && chroma != "420mpeg2" && chroma != "420")
        return fail(path, "chroma format C" + chroma + " is not supported; only 8-bit 4:2:0 (C420, C420jpeg, C420paldv, C420mpeg2) is");
    y4m.width = static_cast<int>(w);
    y4m.height = static_cast<int>(h);
    y4m.rate_num = num;
    y4m.rate_den = den;
    y4m.frame_bytes = i420_frame_bytes(y4m.width, y4m.height);
    return true;
}

// Walks the FRAME headers so that every frame is known to be whole before the
// show starts; the pixel data is read only when a frame is shown.
bool index_frames(const std::string& path, long long file_size)
{
    std::string line;
    bool complete;
    for (long n = 0;; ++n) {
        if (!read_line(y4m.file, &line, &complete))
            break;
        if (line.compare(0, 5, "FRAME") != 0 || (line.size() > 5 && line[5] != ' '))
            return fail(path, "frame " + std::to_string(n) + " does not begin with \"FRAME\"");
        if (!complete)
            return fail(path, "truncated in the header of frame " + std::to_string(n));
        long long at = static_cast<long long>(ftello(y4m.file));
        if (at < 0 || file_size - at < static_cast<long long>(y4m.frame_bytes))
            return fail(path, "truncated: frame " + std::to_string(n) + " has " +
                                  std::to_string(file_size - at) + " of its " +
                                  std::to_string(y4m.frame_bytes) + " bytes");
        y4m.frame_offsets.push_back(at);
        if (fseeko(y4m.file, static_cast<off_t>(y4m.frame_bytes), SEEK_CUR) != 0)
            return fail(path, std::string("cannot read: ") + std::strerror(errno));
    }
    if (std::ferror(y4m.file))
        return fail(path, std::string("cannot read: ") + std::strerror(errno));
    if (y4m.frame_offsets.empty())
        return fail(path, "the file holds no frames");
    return true;
}

bool y4m_open(const std::string& path, int* width, int* height)
{
    y4m_reset();
    y4m.path = path;
    y4m.file = std::fopen(path.c_str(), "rb");
    if (!y4m.file)
        return fail(path, std::string("cannot open: ") + std::strerror(errno));
    struct stat st;
    if (fstat(fileno(y4m.file), &st) != 0 || !S_ISREG(st.st_mode))
        return fail(path, "not a regular file");
    std::string line;
    bool complete;
    if (!read_line(y4m.file, &line, &complete))
        return fail(path, "the file is empty");
    if (!complete)
        return fail(path, "truncated or malformed header (no end of line within 4096 bytes)");
    if (!parse_header(path, line) || !index_frames(path, static_cast<long long>(st.st_size)))
        return false;
    y4m.frame.assign(y4m.frame_bytes, 0);
    *width = y4m.width;
    *height = y4m.height;
    return true;
}

bool y4m_frame(double show_ms, CaptureFrame* out)
{
    if (!y4m.file)
        return false;
    long count = static_cast<long>(y4m.frame_offsets.size());
    long index = y4m_frame_index(show_ms, y4m.rate_num, y4m.rate_den, count);
    if (index != y4m.loaded) {
        // A file cut short while the show runs gives a short frame, which the
        // pipeline skips; it is read again next time.
        // Read past the stream's buffer, which may hold what the file was.
        std::size_t got = 0;
        int fd = fileno(y4m.file);
        off_t at = static_cast<off_t>(y4m.frame_offsets[index]);
        while (got < y4m.frame_bytes) {
            ssize_t n = ::pread(fd, y4m.frame.data() + got, y4m.frame_bytes - got, at + static_cast<off_t>(got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        y4m.loaded = got == y4m.frame_bytes ? index : -1;
        y4m.loaded_bytes = got;
    }
    *out = capture_frame_i420(y4m.frame.data(), y4m.loaded_bytes, y4m.width, y4m.height);
    return true;
}

void y4m_close() { y4m_reset(); }

}  // namespace

long y4m_frame_index(double show_ms, long num, long den, long count)
{
    if (count <= 0 || num <= 0 || den <= 0 || !(show_ms > 0.0))
        return 0;
    double frames = std::floor(show_ms * static_cast<double>(num) / (1000.0 * static_cast<double>(den)));
    return static_cast<long>(std::fmod(frames, static_cast<double>(count)));
}

const CaptureSource y4m_source = {"y4m", y4m_open, y4m_frame, y4m_close, true};
