#pragma once

struct Options;

// --render: draws the show offscreen at stepped show times and writes each
// frame as a PNG. Returns the program's exit code.
int offline_render(const Options& options);

// When the show finds no display: renders a 10 s preview into
// "glowcam-preview" in the working directory and says where.
int offline_preview(const Options& options);
