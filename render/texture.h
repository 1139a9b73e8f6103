#pragma once

// The one way a texture is made: linear filtering, repeat wrapping, level 0
// only. pixels: width x height, tightly packed rows, RGB (or RGBA with alpha),
// row 0 first. The new texture is left bound.
unsigned int texture_create(const unsigned char* pixels, int width, int height, bool with_alpha);
