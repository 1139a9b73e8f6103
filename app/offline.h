#pragma once

struct Options;

// --render: draws the show offscreen at stepped show times and writes each
// frame as a PNG. Returns the program's exit code.
int offline_render(const Options& options);
