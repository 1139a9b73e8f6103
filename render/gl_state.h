#pragma once

#include <GL/gl.h>

// The fixed OpenGL state of the show: lights, the material, fog and the few
// switches the composer uses. Main thread, context current.

struct Light {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float position[4];
    float spot_direction[3];
    float spot_cutoff;
    float constant_attenuation;
    float linear_attenuation;
    float quadratic_attenuation;
    GLenum id;
};

struct Material {
    float ambient[4];
    float diffuse[4];
    float specular[4];
    float emission[4];
    float shininess;
};

constexpr int light_count = 8;
constexpr int material_count = 64;
extern Light lights[light_count];
extern Material materials[material_count];
extern float fog_color[4];

bool gl_state_init();

void lights_init();
void light_defaults(Light* light);
void light_upload(const Light* light);
void lights_enable(unsigned short mask);
void materials_init();
void material_defaults(Material* material);
void material_apply(const Material* material);
void light_model_two_side(int flag);
void light_model_local_viewer(int flag);

void fog_enable();
void fog_disable();
void fog_set_color(float red, float green, float blue, float alpha);
void fog_set_range(float start, float end);
