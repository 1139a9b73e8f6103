#pragma once

#include <string>
#include <vector>

// Pictures the program wrote, read back for comparison.
using Pixels = std::vector<unsigned char>;

// An 8-bit RGB PNG as rows top first; empty if it cannot be read.
Pixels read_png(const std::string& path);
// DIR/frame-000000.png, frame-000001.png, ... as --render DIR writes them.
std::vector<Pixels> read_rendered_frames(const std::string& dir);
// The mean absolute difference of two pictures' bytes; huge when their sizes differ.
double mean_difference(const Pixels& a, const Pixels& b);
// The frames of a 96 x 64 render of the test pattern into `dir` with these
// cues (written to dir.cues) and further options; the program must succeed.
std::vector<Pixels> render_with_cues(const std::string& dir, const std::string& cues, const std::vector<std::string>& options);
// Such renders that hold mode 0, 1 and 2 throughout, with the `rest` of the cues.
std::vector<std::vector<Pixels>> render_held_modes(const std::string& dir, const std::string& rest,
                                                   const std::vector<std::string>& options);
// Which of the renders that hold one mode each (held[m]) frame k of a
// played render is nearest to: the mode it shows.
int nearest_mode(const std::vector<Pixels>& played, const std::vector<std::vector<Pixels>>& held, size_t k);
