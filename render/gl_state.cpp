#include "render/gl_state.h"

#include "platform/window.h"

Light lights[light_count];
Material materials[material_count];
float fog_color[4];

namespace {

const GLenum material_face = GL_FRONT_AND_BACK;
bool lights_initialised = false;

void set4(float* dst, float a, float b, float c, float d)
{
    dst[0] = a;
    dst[1] = b;
    dst[2] = c;
    dst[3] = d;
}

}  // namespace

void light_defaults(Light* l)
{
    set4(l->ambient, 0.006f, 0.006f, 0.006f, 1.0f);
    set4(l->diffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    set4(l->specular, 1.0f, 1.0f, 1.0f, 1.0f);
    set4(l->position, 0.0f, 0.0f, 2.0f, 1.0f);
    l->spot_direction[0] = 0.0f;
    l->spot_direction[1] = 0.0f;
    l->spot_direction[2] = -1.0f;
    l->spot_cutoff = 180.0f;
    l->constant_attenuation = 1.0f;
    l->linear_attenuation = 0.0f;
    l->quadratic_attenuation = 0.025f;
}

void light_upload(const Light* l)
{
    glLightfv(l->id, GL_AMBIENT, l->ambient);
    glLightfv(l->id, GL_DIFFUSE, l->diffuse);
    glLightfv(l->id, GL_SPECULAR, l->specular);
    glLightfv(l->id, GL_POSITION, l->position);
    glLightfv(l->id, GL_SPOT_DIRECTION, l->spot_direction);
    glLightf(l->id, GL_SPOT_CUTOFF, l->spot_cutoff);
    glLightf(l->id, GL_CONSTANT_ATTENUATION, l->constant_attenuation);
    glLightf(l->id, GL_LINEAR_ATTENUATION, l->linear_attenuation);
    glLightf(l->id, GL_QUADRATIC_ATTENUATION, l->quadratic_attenuation);
}

void lights_init()
{
    if (lights_initialised)
        return;
    for (int i = 0; i < light_count; ++i)
        lights[i].id = GL_LIGHT0 + i;
    for (Light& l : lights) {
        light_defaults(&l);
        light_upload(&l);
    }
    lights_initialised = true;
}

void lights_enable(unsigned short mask)
{
    for (const Light& l : lights) {
        if (mask & 1)
            glEnable(l.id);
        else
            glDisable(l.id);
        mask >>= 1;
    }
}

void material_defaults(Material* m)
{
    set4(m->ambient, 1.0f, 1.0f, 1.0f, 1.0f);
    set4(m->diffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    set4(m->specular, 1.0f, 1.0f, 1.0f, 1.0f);
    set4(m->emission, 0.0f, 0.0f, 0.0f, 1.0f);
    m->shininess = 50.0f;
}

void materials_init()
{
    for (Material& m : materials)
        material_defaults(&m);
}

void material_apply(const Material* m)
{
    glMaterialfv(material_face, GL_AMBIENT, m->ambient);
    glMaterialfv(material_face, GL_DIFFUSE, m->diffuse);
    glMaterialfv(material_face, GL_SPECULAR, m->specular);
    glMaterialfv(material_face, GL_EMISSION, m->emission);
    glMaterialf(material_face, GL_SHININESS, m->shininess);
}

void light_model_two_side(int flag) { glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, flag & 1); }

void light_model_local_viewer(int flag) { glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, flag & 1); }

void fog_enable() { glEnable(GL_FOG); }

void fog_disable() { glDisable(GL_FOG); }

void fog_set_color(float red, float green, float blue, float alpha)
{
    set4(fog_color, red, green, blue, alpha);
    glFogfv(GL_FOG_COLOR, fog_color);
}

void fog_set_range(float start, float end)
{
    glFogf(GL_FOG_START, start);
    glFogf(GL_FOG_END, end);
}

bool gl_state_init()
{
    // Both buffers start black; the grey clear colour set below only shows
    // with the first frame's clear.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    window_swap();
    glClear(GL_COLOR_BUFFER_BIT);
    window_swap();

    glDisable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);

    lights_init();
    lights_enable(1);
    light_model_two_side(0);
    light_model_local_viewer(1);

    materials_init();
    materials[0].shininess = 80.0f;
    material_apply(&materials[0]);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);

    glEnable(GL_BLEND);

    glFogi(GL_FOG_MODE, GL_LINEAR);
    fog_set_color(0.25f, 0.25f, 0.25f, 1.0f);
    glFogf(GL_FOG_DENSITY, 0.35f);
    glHint(GL_FOG_HINT, GL_NICEST);
    fog_set_range(1.0f, 6.0f);
    glClearColor(fog_color[0], fog_color[1], fog_color[2], fog_color[3]);

    glEnable(GL_POINT_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_FASTEST);
    glPointSize(2.0f);
    glEnable(GL_LINE_SMOOTH);
    glLineWidth(1.0f);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);

    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_NORMALIZE);
    return true;
}
