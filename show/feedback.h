#pragma once

// The feedback zoom laid over every frame: the frame is shrunk into the
// top-left quarter, smeared outward from its centre by passes of ever
// stronger zoomed and turned re-draws of itself, then the screen is rebuilt
// from a dimmed copy of the frame with the smear, enlarged, added on top.

// Sizes of the two feedback textures for a W x H window: 1024 wide and 1024
// high (512 when W is 480 or less), each side grown to the smallest power of
// two that holds the window where the window does not fit. No GL.
void feedback_texture_size(int width, int height, int* tex_width, int* tex_height);

// Extents of the full frame (uf, vf) and of the quarter (uh, vh) in texture
// coordinates. No GL.
struct FeedbackExtent {
    float uf, vf, uh, vh;
};
FeedbackExtent feedback_extent(int width, int height, int tex_width, int tex_height);

// Pass k (from 0): the pull-in of the sampled rectangle on each side and the
// turn of its texture coordinates, both doubling from pass to pass. No GL.
struct FeedbackPass {
    float du, dv, angle;
};
FeedbackPass feedback_pass(int k, float step_x, float step_y, float angle, int width);

// The zoom over the frame now in the framebuffer. Leaves all GL state and the
// matrices as found. The textures are made on the first call (and remade
// larger only if the window grows out of them).
void feedback_zoom(float step_x, float step_y, float angle, float pass_alpha,
                   int passes, float base_alpha);

// Textures live and die with their context: after the context the zoom drew
// in is gone, this makes the next call create its textures afresh.
void feedback_forget_textures();
