#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Opens the show's real window and context on SDL's offscreen driver
// (llvmpipe, no display). The offscreen surface is single-buffered and swaps
// do nothing, so tests finish with glFinish and read back the buffer drawn to.
class GlTest : public ::testing::Test {
protected:
    static constexpr int width = 64, height = 48;
    void SetUp() override;
    void TearDown() override;
    // Opens at another size (closes the current window first).
    void reopen(int w, int h);
};

struct Rgb { int r, g, b; };

// The colour buffer, bottom row first as GL returns it.
std::vector<uint8_t> read_rgb(int w, int h);
// One pixel in window coordinates with y down from the top (as on screen).
Rgb pixel_at(int x, int y);

// Matrix and attribute stack depths, for "leaves the state as found" checks.
struct StackDepths {
    int modelview, projection, texture, attrib;
    bool operator==(const StackDepths&) const = default;
};
StackDepths stack_depths();

::testing::AssertionResult near_rgb(Rgb got, Rgb want, int tolerance);
