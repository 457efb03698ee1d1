// The wave-floor scene.
#include "scenes/wave_floor.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>

#include "scenes/scene_sequencer.h"
#include "scenes/texture_set.h"

WaveFloorState wave_floor_state = {};

namespace {

constexpr double WAVE_STEP = 0.6283185307179586;  // pi/5: ten strips a wavelength
constexpr int32_t FLOOR_SLOT = 4;
constexpr double SPHERE_RADIUS = 1.5;
constexpr GLint SPHERE_DIVISIONS = 28;  // slices and stacks

void set_light() {
    const GLfloat ambient[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    const GLfloat diffuse[4] = {0.5f, 0.5f, 0.4f, 0.1f};
    const GLfloat position[4] = {0.0f, 20.0f, 0.0f, 1.0f};
    glLightfv(GL_LIGHT1, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    // Given after the translation and before the turn: the light stays put
    // at (10, 15, -25) in eye space while the floor turns.
    glLightfv(GL_LIGHT1, GL_POSITION, position);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT1);
}

void draw_strips(const float* heights) {
    for (int32_t m = 0; m < WAVE_STRIPS; ++m) {
        const float left = static_cast<float>(m - 12);
        const float right = static_cast<float>(m - 11);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f);
        glVertex3f(left, heights[m], 0.0f);
        glTexCoord2f(0.0f, 15.0f);
        glVertex3f(left, heights[m], -40.0f);
        glTexCoord2f(1.0f, 15.0f);
        glVertex3f(right, heights[m + 1], -40.0f);
        glTexCoord2f(1.0f, 0.0f);
        glVertex3f(right, heights[m + 1], 0.0f);
        // After the last vertex: this normal lights the next strip, so the
        // first strip keeps whatever normal the previous frame left.
        glNormal3f(0.0f, 1.0f, 0.0f);
        glEnd();
    }
}

void draw_sphere(GLUquadric* sphere) {
    gluSphere(sphere, SPHERE_RADIUS, SPHERE_DIVISIONS, SPHERE_DIVISIONS);
}

}  // namespace

void draw_wave_floor() {
    WaveFloorState& w = wave_floor_state;
    if (!w.sphere) {
        w.sphere = gluNewQuadric();
        if (w.sphere) gluQuadricNormals(w.sphere, GLU_SMOOTH);
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(10.0f, -5.0f, -25.0f);
    set_light();
    for (int32_t i = 0; i < WAVE_STRIPS; ++i) {
        w.wave_heights[i] = static_cast<float>(std::cos((i + 1 + w.wave_phase) * WAVE_STEP));
    }
    glColor3f(1.0f, 0.0f, 0.0f);
    glRotatef(scene_state.spin_angle + 20.0f, 0.0f, 1.0f, 0.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_set.textures[FLOOR_SLOT].texture_name);
    draw_strips(w.wave_heights);
    glDisable(GL_TEXTURE_2D);
    scene_state.spin_angle += 0.07f;
    w.wave_phase += 0.06f;

    // Lighting is on and colour material off, so this colour tints nothing.
    glColor3f(1.0f, 0.0f, 1.0f);
    if (!w.sphere) return;
    // The translations add up: each sphere is placed from the one before.
    glTranslatef(-10.0f, w.wave_heights[2] + 1.4f, -10.0f);
    draw_sphere(w.sphere);
    glTranslatef(11.0f, -w.wave_heights[0], -4.0f);
    draw_sphere(w.sphere);
    glTranslatef(19.0f, w.wave_heights[0] - 0.1f, -4.0f);
    draw_sphere(w.sphere);
}

void reset_wave_floor() {
    GLUquadric* sphere = wave_floor_state.sphere;
    wave_floor_state = WaveFloorState{};
    wave_floor_state.sphere = sphere;  // not tied to a context: reused
}
